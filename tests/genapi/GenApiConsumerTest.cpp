// The applet's GenApi description, read by a real GenApi consumer (Aravis). A small Aravis
// device stands in for the host side of the port: a register address is a parameter identifier,
// and reading or writing the register is a get or set of that parameter on an open board. What
// Aravis makes of the document is then exactly what a GenICam application would see.
#include "Harness.h"

#include <pellvane/parameters.h>

#include <arv.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// Value-type codes of the host's parameter calls. Only 3 and 4 (64-bit integers) make the get
// export clear eight bytes first, which a four-byte register must never see.

constexpr size_t kStringLength = 4096;
constexpr unsigned char kGuardByte = 0xa5;

// What the device needs to reach the applet, and what it saw: kept outside the GObject so that
// it can hold C++ members.
struct AppletPort {
    const pvtest::Exports* x = nullptr;
    void* fg = nullptr;
    std::vector<guint64> readAddresses;
    std::vector<guint64> writtenAddresses;
    // Registers whose get wrote past the register length the description gives them.
    std::set<guint64> overruns;
};

} // namespace

G_BEGIN_DECLS
#define PV_TYPE_APPLET_DEVICE (pv_applet_device_get_type())
G_DECLARE_FINAL_TYPE(PvAppletDevice, pv_applet_device, PV, APPLET_DEVICE, ArvDevice)
G_END_DECLS

struct _PvAppletDevice {
    ArvDevice parent_instance;
    AppletPort* port;
    ArvGc* genicam;
};

G_DEFINE_TYPE(PvAppletDevice, pv_applet_device, ARV_TYPE_DEVICE)

namespace {

bool toParameterId(guint64 address, int32_t* id, GError** error) {
    if (address == 0 || address > 1000000) {
        g_set_error(error, ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_PROTOCOL_ERROR_INVALID_ADDRESS,
                    "address %" G_GUINT64_FORMAT " is no parameter identifier", address);
        return false;
    }
    *id = static_cast<int32_t>(address);
    return true;
}

int32_t typeCodeFor(guint32 size) {
    return size == 4 ? PV_TYPE_INT32 : size == 8 ? PV_TYPE_DOUBLE : PV_TYPE_STRING;
}

gboolean readMemory(ArvDevice* device, guint64 address, guint32 size, void* buffer,
                    GError** error) {
    AppletPort& port = *PV_APPLET_DEVICE(device)->port;
    int32_t id = 0;
    if (!toParameterId(address, &id, error)) return FALSE;
    port.readAddresses.push_back(address);
    // The applet decides how many bytes it writes; a guard behind the register shows a
    // parameter that writes more than its register holds.
    std::vector<unsigned char> scratch(size_t{size} + kStringLength, kGuardByte);
    std::fill_n(scratch.begin(), size, 0);
    const int32_t rc =
        port.x->Fg_getParameterWithType(port.fg, id, scratch.data(), 0, typeCodeFor(size));
    if (rc != 0) {
        g_set_error(error, ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_PROTOCOL_ERROR,
                    "the applet's get of parameter %d answers %d", id, rc);
        return FALSE;
    }
    if (std::any_of(scratch.begin() + size, scratch.end(),
                    [](unsigned char b) { return b != kGuardByte; }))
        port.overruns.insert(address);
    std::memcpy(buffer, scratch.data(), size);
    return TRUE;
}

gboolean writeMemory(ArvDevice* device, guint64 address, guint32 size, void* buffer,
                     GError** error) {
    AppletPort& port = *PV_APPLET_DEVICE(device)->port;
    int32_t id = 0;
    if (!toParameterId(address, &id, error)) return FALSE;
    port.writtenAddresses.push_back(address);
    // A string register may be full to its last byte; the applet reads up to a zero.
    std::vector<unsigned char> value(size_t{size} + 1, 0);
    std::memcpy(value.data(), buffer, size);
    const int32_t rc =
        port.x->Fg_setParameterWithType(port.fg, id, value.data(), 0, typeCodeFor(size));
    if (rc != 0) {
        g_set_error(error, ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_PROTOCOL_ERROR,
                    "the applet's set of parameter %d answers %d", id, rc);
        return FALSE;
    }
    return TRUE;
}

ArvGc* genicamOf(ArvDevice* device) {
    return PV_APPLET_DEVICE(device)->genicam;
}

} // namespace

static void pv_applet_device_init(PvAppletDevice* self) {
    self->port = nullptr;
    self->genicam = nullptr;
}

static void pv_applet_device_finalize(GObject* object) {
    PvAppletDevice* self = PV_APPLET_DEVICE(object);
    g_clear_object(&self->genicam);
    G_OBJECT_CLASS(pv_applet_device_parent_class)->finalize(object);
}

static void pv_applet_device_class_init(PvAppletDeviceClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = pv_applet_device_finalize;
    ArvDeviceClass* device = ARV_DEVICE_CLASS(klass);
    device->read_memory = readMemory;
    device->write_memory = writeMemory;
    device->get_genicam = genicamOf;
}

namespace {

std::string takeMessage(GError* error) {
    std::string message = error->message != nullptr ? error->message : "(no message)";
    g_error_free(error);
    return message;
}

std::string join(const std::vector<std::string>& items, const char* separator = ", ") {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += separator;
        out += item;
    }
    return out;
}

class GenApiConsumer : public pvtest::OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
        if (HasFatalFailure()) return;

        size_t size = 0;
        ASSERT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, nullptr, &size), 0);
        ASSERT_GT(size, 1u);
        std::vector<char> buffer(size);
        ASSERT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, buffer.data(), &size), 0);
        xml_.assign(buffer.data(), size - 1);

        port_.x = &x();
        port_.fg = &fg_;
        device_ = PV_APPLET_DEVICE(g_object_new(PV_TYPE_APPLET_DEVICE, nullptr));
        device_->port = &port_;
        gc_ = arv_gc_new(ARV_DEVICE(device_), xml_.data(), xml_.size());
        ASSERT_NE(gc_, nullptr) << "Aravis cannot parse the description";
        device_->genicam = gc_;
        // A strict consumer: no cache between us and the applet, and the limits and access
        // modes of the description enforced.
        arv_gc_set_register_cache_policy(gc_, ARV_REGISTER_CACHE_POLICY_DISABLE);
        arv_gc_set_range_check_policy(gc_, ARV_RANGE_CHECK_POLICY_ENABLE);
        arv_gc_set_access_check_policy(gc_, ARV_ACCESS_CHECK_POLICY_ENABLE);
    }

    void TearDown() override {
        // The device owns the document; Aravis keeps only a weak pointer back to the device.
        if (device_ != nullptr) g_object_unref(device_);
        device_ = nullptr;
        gc_ = nullptr;
        OpenBoard::TearDown();
    }

    ArvGcFeatureNode* feature(const char* name) {
        ArvGcNode* node = arv_gc_get_node(gc_, name);
        return ARV_IS_GC_FEATURE_NODE(node) ? ARV_GC_FEATURE_NODE(node) : nullptr;
    }

    // Every feature the categories name, from "Root" down, in order; category names that do
    // not resolve to a node are collected in `unresolved`.
    std::vector<std::string> categorisedFeatures(std::vector<std::string>* unresolved) {
        std::vector<std::string> features;
        std::set<std::string> seenCategories;
        collect("Root", features, seenCategories, unresolved);
        return features;
    }

    bool readable(ArvGcFeatureNode* node) {
        const ArvGcAccessMode mode = arv_gc_feature_node_get_actual_access_mode(node);
        return mode == ARV_GC_ACCESS_MODE_RO || mode == ARV_GC_ACCESS_MODE_RW;
    }

    int32_t parameterId(const std::string& name) {
        return x().Fg_getParameterIdByName(&fg_, name.c_str());
    }

    template <class T>
    int32_t appletGet(const std::string& name, T* value, int32_t type) {
        return x().Fg_getParameterWithType(&fg_, parameterId(name), value, 0, type);
    }

    std::string appletGetString(const std::string& name, int32_t* rc) {
        std::vector<char> buffer(kStringLength, 0);
        *rc = appletGet(name, buffer.data(), PV_TYPE_STRING);
        return std::string(buffer.data());
    }

    // Reads one feature through Aravis and compares it with what the applet itself answers
    // for the parameter. Returns what went wrong, or nothing.
    std::optional<std::string> readMatchesApplet(const std::string& name, ArvGcFeatureNode* node);

    std::string xml_;
    AppletPort port_;
    PvAppletDevice* device_ = nullptr;
    ArvGc* gc_ = nullptr;

private:
    void collect(const char* category, std::vector<std::string>& features,
                 std::set<std::string>& seenCategories, std::vector<std::string>* unresolved) {
        if (!seenCategories.insert(category).second) return;
        ArvGcNode* node = arv_gc_get_node(gc_, category);
        for (const GSList* item = arv_gc_category_get_features(ARV_GC_CATEGORY(node));
             item != nullptr; item = item->next) {
            const char* name = static_cast<const char*>(item->data);
            ArvGcNode* child = arv_gc_get_node(gc_, name);
            if (child == nullptr)
                unresolved->push_back(name);
            else if (ARV_IS_GC_CATEGORY(child))
                collect(name, features, seenCategories, unresolved);
            else
                features.push_back(name);
        }
    }
};

std::optional<std::string> GenApiConsumer::readMatchesApplet(const std::string& name,
                                                             ArvGcFeatureNode* node) {
    const int32_t id = parameterId(name);
    if (id < 0) return "the applet knows no parameter of this name";
    port_.readAddresses.clear();
    GError* error = nullptr;
    std::optional<std::string> mismatch;

    if (ARV_IS_GC_ENUMERATION(node)) {
        const char* symbol = arv_gc_enumeration_get_string_value(ARV_GC_ENUMERATION(node), &error);
        if (error != nullptr) return takeMessage(error);
        int32_t own = 0;
        if (const int32_t rc = appletGet(name, &own, PV_TYPE_INT32); rc != 0)
            return "the applet's own get answers " + std::to_string(rc);
        // Entry names repeat across enumerations (FG_ON, FG_OFF): look in this one's own.
        std::optional<gint64> value;
        for (const GSList* e = arv_gc_enumeration_get_entries(ARV_GC_ENUMERATION(node));
             e != nullptr; e = e->next) {
            ArvGcEnumEntry* entry = ARV_GC_ENUM_ENTRY(e->data);
            if (std::strcmp(arv_gc_feature_node_get_name(ARV_GC_FEATURE_NODE(entry)), symbol) == 0)
                value = arv_gc_enum_entry_get_value(entry, nullptr);
        }
        if (value != own)
            mismatch =
                std::string("Aravis shows ") + symbol + ", the applet holds " + std::to_string(own);
    } else if (ARV_IS_GC_INTEGER(node)) {
        const gint64 value = arv_gc_integer_get_value(ARV_GC_INTEGER(node), &error);
        if (error != nullptr) return takeMessage(error);
        int32_t own = 0;
        if (const int32_t rc = appletGet(name, &own, PV_TYPE_INT32); rc != 0)
            return "the applet's own get answers " + std::to_string(rc);
        if (value != own)
            mismatch = "Aravis reads " + std::to_string(value) + ", the applet holds " +
                       std::to_string(own);
    } else if (ARV_IS_GC_FLOAT(node)) {
        const double value = arv_gc_float_get_value(ARV_GC_FLOAT(node), &error);
        if (error != nullptr) return takeMessage(error);
        double own = 0;
        if (const int32_t rc = appletGet(name, &own, PV_TYPE_DOUBLE); rc != 0)
            return "the applet's own get answers " + std::to_string(rc);
        if (value != own)
            mismatch = "Aravis reads " + std::to_string(value) + ", the applet holds " +
                       std::to_string(own);
    } else if (ARV_IS_GC_STRING(node)) {
        const char* value = arv_gc_string_get_value(ARV_GC_STRING(node), &error);
        if (error != nullptr) return takeMessage(error);
        int32_t rc = 0;
        const std::string own = appletGetString(name, &rc);
        if (rc != 0) return "the applet's own get answers " + std::to_string(rc);
        if (own != value)
            mismatch =
                std::string("Aravis reads \"") + value + "\", the applet holds \"" + own + "\"";
    } else {
        return std::string("unexpected node type ") + G_OBJECT_TYPE_NAME(node);
    }

    if (mismatch) return mismatch;
    if (port_.readAddresses.empty() || port_.readAddresses.back() != guint64(id))
        return "the read did not reach address " + std::to_string(id);
    if (port_.overruns.count(guint64(id)) != 0)
        return "the applet wrote more bytes than the register is long";
    return std::nullopt;
}

} // namespace

TEST_F(GenApiConsumer, DocumentLoadsAndItsCategoriesNameEveryFeature) {
    std::vector<std::string> unresolved;
    const std::vector<std::string> listed = categorisedFeatures(&unresolved);
    EXPECT_TRUE(unresolved.empty()) << "categories name absent nodes: " << join(unresolved);
    ASSERT_FALSE(listed.empty());

    std::set<std::string> unique(listed.begin(), listed.end());
    EXPECT_EQ(unique.size(), listed.size()) << "a feature is listed in two categories";

    for (const std::string& name : listed) {
        SCOPED_TRACE(name);
        ArvGcNode* node = arv_gc_get_node(gc_, name.c_str());
        EXPECT_TRUE(ARV_IS_GC_INTEGER_NODE(node) || ARV_IS_GC_FLOAT_NODE(node) ||
                    ARV_IS_GC_ENUMERATION(node) || ARV_IS_GC_STRING_REG_NODE(node))
            << "is a " << G_OBJECT_TYPE_NAME(node);
        EXPECT_GT(parameterId(name), 0) << "the applet knows no parameter of this name";
    }

    // The other way round: no feature of the document is left out of the categories, where a
    // browsing application would never find it.
    ArvDomElement* root = arv_dom_document_get_document_element(ARV_DOM_DOCUMENT(gc_));
    ASSERT_NE(root, nullptr);
    std::vector<std::string> orphans;
    for (ArvDomNode* child = arv_dom_node_get_first_child(ARV_DOM_NODE(root)); child != nullptr;
         child = arv_dom_node_get_next_sibling(child)) {
        if (!(ARV_IS_GC_INTEGER_NODE(child) || ARV_IS_GC_FLOAT_NODE(child) ||
              ARV_IS_GC_ENUMERATION(child) || ARV_IS_GC_STRING_REG_NODE(child)))
            continue;
        const char* name = arv_gc_feature_node_get_name(ARV_GC_FEATURE_NODE(child));
        if (unique.count(name) == 0) orphans.push_back(name);
    }
    EXPECT_TRUE(orphans.empty()) << "features in no category: " << join(orphans);
}

TEST_F(GenApiConsumer, EveryReadableFeatureReadsAsTheAppletHoldsIt) {
    std::vector<std::string> unresolved;
    std::vector<std::string> readableNames;
    std::vector<std::string> failures;
    for (const std::string& name : categorisedFeatures(&unresolved)) {
        ArvGcFeatureNode* node = feature(name.c_str());
        if (node == nullptr || !readable(node)) continue;
        readableNames.push_back(name);
        if (std::optional<std::string> failure = readMatchesApplet(name, node)) {
            ADD_FAILURE() << name << ": " << *failure;
            failures.push_back(name);
        }
    }
    RecordProperty("readable", join(readableNames, " "));
    RecordProperty("failed", join(failures, " "));
    ASSERT_FALSE(readableNames.empty());
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << readableNames.size()
                                  << " readable features fail: " << join(failures);
}

TEST_F(GenApiConsumer, IntegerWriteReachesTheApplet) {
    ArvGcFeatureNode* width = feature("FG_WIDTH");
    ASSERT_NE(width, nullptr);
    GError* error = nullptr;
    arv_gc_integer_set_value(ARV_GC_INTEGER(width), 512, &error);
    ASSERT_EQ(error, nullptr) << takeMessage(error);

    int32_t own = 0;
    ASSERT_EQ(appletGet("FG_WIDTH", &own, PV_TYPE_INT32), 0);
    EXPECT_EQ(own, 512);
    EXPECT_EQ(arv_gc_integer_get_value(ARV_GC_INTEGER(width), nullptr), 512);
}

TEST_F(GenApiConsumer, FloatWritesReachTheApplet) {
    // The frame rate keeps the default pulse widths (4 ms at most) inside one period, and the
    // applet hands it back through a period computation that gives 30 Hz back unchanged.
    const struct {
        const char* name;
        double value;
    } writes[] = {{"FG_TRIGGER_FRAMESPERSECOND", 30.0}, {"FG_GEN_FREQ", 50.0}};
    for (const auto& w : writes) {
        SCOPED_TRACE(w.name);
        ArvGcFeatureNode* node = feature(w.name);
        ASSERT_NE(node, nullptr);
        ASSERT_TRUE(ARV_IS_GC_FLOAT(node));
        GError* error = nullptr;
        arv_gc_float_set_value(ARV_GC_FLOAT(node), w.value, &error);
        if (error != nullptr) {
            ADD_FAILURE() << takeMessage(error);
            continue;
        }
        double own = 0;
        EXPECT_EQ(appletGet(w.name, &own, PV_TYPE_DOUBLE), 0);
        EXPECT_DOUBLE_EQ(own, w.value);
    }
}

TEST_F(GenApiConsumer, EnumerationWriteBySymbolReachesTheApplet) {
    ArvGcFeatureNode* format = feature("FG_FORMAT");
    ASSERT_NE(format, nullptr);
    ASSERT_TRUE(ARV_IS_GC_ENUMERATION(format));
    GError* error = nullptr;
    arv_gc_enumeration_set_string_value(ARV_GC_ENUMERATION(format), "FG_GRAY16", &error);
    ASSERT_EQ(error, nullptr) << takeMessage(error);

    int32_t own = -1;
    ASSERT_EQ(appletGet("FG_FORMAT", &own, PV_TYPE_INT32), 0);
    EXPECT_EQ(own, 1);
    EXPECT_STREQ(arv_gc_enumeration_get_string_value(ARV_GC_ENUMERATION(format), nullptr),
                 "FG_GRAY16");

    // A symbol the description does not list never reaches the applet.
    port_.writtenAddresses.clear();
    arv_gc_enumeration_set_string_value(ARV_GC_ENUMERATION(format), "FG_NO_SUCH_FORMAT", &error);
    ASSERT_NE(error, nullptr);
    g_clear_error(&error);
    EXPECT_TRUE(port_.writtenAddresses.empty());
    ASSERT_EQ(appletGet("FG_FORMAT", &own, PV_TYPE_INT32), 0);
    EXPECT_EQ(own, 1);
}

TEST_F(GenApiConsumer, StringWriteReachesTheApplet) {
    pvtest::TempDir dir;
    const std::string file = (dir.path() / "saved.lut").string();
    ArvGcFeatureNode* save = feature("FG_LUT_SAVE_FILE");
    ASSERT_NE(save, nullptr);
    ASSERT_TRUE(ARV_IS_GC_STRING(save));
    GError* error = nullptr;
    arv_gc_string_set_value(ARV_GC_STRING(save), file.c_str(), &error);
    ASSERT_EQ(error, nullptr) << takeMessage(error);

    int32_t rc = 0;
    EXPECT_EQ(appletGetString("FG_LUT_SAVE_FILE", &rc), file);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(std::filesystem::exists(file)) << "the applet saved no table";
    EXPECT_EQ(arv_gc_string_get_value(ARV_GC_STRING(save), nullptr), file);
}

TEST_F(GenApiConsumer, ReadOnlyFeaturesAreRefusedForWriting) {
    ArvGcFeatureNode* camStatus = feature("FG_CAMSTATUS");
    ASSERT_NE(camStatus, nullptr);
    EXPECT_EQ(arv_gc_feature_node_get_actual_access_mode(camStatus), ARV_GC_ACCESS_MODE_RO);

    std::vector<std::string> unresolved;
    std::vector<std::string> accepted;
    size_t readOnly = 0;
    for (const std::string& name : categorisedFeatures(&unresolved)) {
        ArvGcFeatureNode* node = feature(name.c_str());
        if (node == nullptr ||
            arv_gc_feature_node_get_actual_access_mode(node) != ARV_GC_ACCESS_MODE_RO)
            continue;
        ++readOnly;
        std::string value = "0";
        if (ARV_IS_GC_ENUMERATION(node)) {
            const GSList* entries = arv_gc_enumeration_get_entries(ARV_GC_ENUMERATION(node));
            ASSERT_NE(entries, nullptr) << name;
            value = arv_gc_feature_node_get_name(ARV_GC_FEATURE_NODE(entries->data));
        } else if (ARV_IS_GC_STRING(node)) {
            value = "refused.txt";
        }
        port_.writtenAddresses.clear();
        GError* error = nullptr;
        arv_gc_feature_node_set_value_from_string(node, value.c_str(), &error);
        if (error == nullptr || !port_.writtenAddresses.empty()) accepted.push_back(name);
        g_clear_error(&error);
    }
    EXPECT_GT(readOnly, 0u);
    EXPECT_TRUE(accepted.empty()) << "read-only features written: " << join(accepted);
}
