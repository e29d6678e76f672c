#include "imagepath/LookupTable.h"

#include <pellvane/parameters.h>

#include "entry/FgXeWrapperImpl.h"
#include "files/LutFileParser.h"
#include "host/ErrorCodes.h"
#include "parameters/SetterPattern.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace pellvane {

namespace {

constexpr int32_t kIdLutType = FG_LUT_TYPE;
constexpr int32_t kIdLutSaveFile = FG_LUT_SAVE_FILE;
constexpr int32_t kIdLutCustomFile = FG_LUT_CUSTOM_FILE;
constexpr int32_t kIdLutValue = FG_LUT_VALUE;
constexpr int32_t kIdProcessingGain = FG_PROCESSING_GAIN;
constexpr int32_t kIdProcessingGamma = FG_PROCESSING_GAMMA;
constexpr int32_t kIdProcessingOffset = FG_PROCESSING_OFFSET;
constexpr int32_t kIdProcessingInvert = FG_PROCESSING_INVERT;
constexpr int32_t kIdLutImplementationType = FG_LUT_IMPLEMENTATION_TYPE;
constexpr int32_t kIdLutInBits = FG_LUT_IN_BITS;
constexpr int32_t kIdLutOutBits = FG_LUT_OUT_BITS;

// Access values of the information nodes: 7 is what the parameters are registered with
// (readable, writable and the carried bit), 1 is read-only.
constexpr int32_t kAccessReadWrite = 7;
constexpr int32_t kAccessReadOnly = 1;

constexpr int32_t kFullLut = 0; // LUT_IMPLEMENTATION_FULL_LUT
constexpr int32_t kLutBits = 12;
constexpr const char* kGraySection = "[gray]";
constexpr uint32_t kGrayFileId = 3; // what saved files have always carried as their id

// The host's field-access record for a whole-table write.
struct LutFieldTable {
    uint32_t elementType; // 2: unsigned 32-bit values
    uint32_t zero;
    uint32_t count;
    uint32_t pad;
    const uint32_t* data;
};
static_assert(offsetof(LutFieldTable, data) == 16);
constexpr uint32_t kElementUint32 = 2;

// FG_LUT_VALUE's record, which is also the host's record for a one-entry write.
struct LutFieldEntry {
    uint32_t value;
    uint32_t index;
};
static_assert(sizeof(LutFieldEntry) == 8 && offsetof(LutFieldEntry, index) == 4);

// ---------------------------------------------------------------------------------------------
// The table and the hardware

void writeTable(FgXeWrapperImpl& a) {
    const LutFieldTable record{kElementUint32, 0, static_cast<uint32_t>(kLutEntries), 0,
                               a.lookupTable().table.data()};
    int32_t rc =
        a.writeHostField(a.registerId(Reg::LookupTableContent), &record, kLutFieldTableType);
    check(rc);
}

void computeAndWriteTable(FgXeWrapperImpl& a) {
    LookupTableState& s = a.lookupTable();
    computeProcessingTable(s.offset, s.gain, s.gamma, s.invert, s.table);
    writeTable(a);
}

// After a processing value changed: the table follows it only while it is the computed one.
void recompute(FgXeWrapperImpl& a) {
    if (a.lookupTable().type == kLutTypeProcessing) computeAndWriteTable(a);
}

// The user file replaces as many entries as it announces, at most the whole table; the rest
// keep their values. Values are taken as the file gives them: the hardware write decides.
void loadUserFile(FgXeWrapperImpl& a) {
    LookupTableState& s = a.lookupTable();
    if (s.type != kLutTypeCustom || s.customFile.empty()) return;
    const char* name = s.customFile.c_str();
    if (!LutFileParser::fileReadable(name)) fail(kFileNotOpened);
    LutTable file;
    LutFileParser parser;
    if (parser.readGrayTable(name, file, kGraySection, kLutEntries) != 0) fail(kFileIoFailed);
    std::copy(file.entries.begin(), file.entries.end(), s.table.begin());
    writeTable(a);
}

void saveTable(FgXeWrapperImpl& a) {
    const LookupTableState& s = a.lookupTable();
    LutTable file;
    file.entries.assign(s.table.begin(), s.table.end());
    file.id = kGrayFileId;
    file.nrOfElements = static_cast<uint32_t>(kLutEntries);
    LutFileParser parser;
    if (parser.writeGrayTable(s.saveFile.c_str(), file) != 0) fail(kFileIoFailed);
}

// Only the information nodes follow the type; the setters accept every value either way.
void updateAccess(FgXeWrapperImpl& a, int32_t type) {
    a.setNodeAccess(kIdLutCustomFile, type == kLutTypeCustom ? kAccessReadWrite : kAccessReadOnly);
    const int32_t processing = type == kLutTypeProcessing ? kAccessReadWrite : kAccessReadOnly;
    for (int32_t id :
         {kIdProcessingGain, kIdProcessingGamma, kIdProcessingOffset, kIdProcessingInvert})
        a.setNodeAccess(id, processing);
}

// ---------------------------------------------------------------------------------------------
// Setters and getters

void setType(FgXeWrapperImpl& a, int32_t type, bool report) {
    if (type != kLutTypeProcessing && type != kLutTypeCustom)
        return reject(kValueOutOfRange, report);
    commit(a.lookupTable().type, type, report, [&] {
        if (type == kLutTypeCustom)
            loadUserFile(a);
        else
            computeAndWriteTable(a);
        updateAccess(a, type); // not reached when the table could not be applied
    });
}

int32_t getType(FgXeWrapperImpl& a) {
    return a.lookupTable().type;
}

// Offset, gain and gamma differ only in their field and their inclusive range. A NaN passes
// the range check as it always has; the computation turns it into entries within range.
struct ProcessingRange {
    double LookupTableState::*field;
    double min;
    double max;
};
constexpr ProcessingRange kOffsetRange{&LookupTableState::offset, -1.0, 1.0};
constexpr ProcessingRange kGainRange{&LookupTableState::gain, 0.0, 4096.0};
constexpr ProcessingRange kGammaRange{&LookupTableState::gamma, -1000.0, 1000.0};

template <const ProcessingRange& R>
void setProcessingValue(FgXeWrapperImpl& a, double value, bool report) {
    if (value < R.min || value > R.max) return reject(kValueOutOfRange, report);
    commit(a.lookupTable().*R.field, value, report, [&] { recompute(a); });
}

template <const ProcessingRange& R>
double getProcessingValue(FgXeWrapperImpl& a) {
    return a.lookupTable().*R.field;
}

void setInvert(FgXeWrapperImpl& a, int32_t invert, bool report) {
    if (invert != 0 && invert != 1) return reject(kValueOutOfRange, report);
    commit(a.lookupTable().invert, invert, report, [&] { recompute(a); });
}

int32_t getInvert(FgXeWrapperImpl& a) {
    return a.lookupTable().invert;
}

// One entry, with either table type; a later recomputation or file load overwrites it.
void setValue(FgXeWrapperImpl& a, const void* record, bool report) {
    if (record == nullptr) return reject(kValueOutOfRange, report);
    LutFieldEntry e;
    std::memcpy(&e, record, sizeof e);
    if (e.index >= kLutEntries || e.value > kLutMaxValue) return reject(kValueOutOfRange, report);
    commit(a.lookupTable().table[e.index], e.value, report, [&] {
        int32_t rc =
            a.writeHostField(a.registerId(Reg::LookupTableContent), record, kLutFieldEntryType);
        check(rc);
    });
}

// Answers from the copy; the hardware is not read.
void getValue(FgXeWrapperImpl& a, void* record) {
    if (record == nullptr) fail(kInvalidParameter);
    LutFieldEntry e;
    std::memcpy(&e, record, sizeof e);
    if (e.index >= kLutEntries) fail(kInvalidParameter);
    e.value = a.lookupTable().table[e.index];
    std::memcpy(record, &e.value, sizeof e.value);
}

void setCustomFile(FgXeWrapperImpl& a, const void* name, bool report) {
    if (name == nullptr) return reject(kValueOutOfRange, report);
    commit(a.lookupTable().customFile, std::string(static_cast<const char*>(name)), report,
           [&] { loadUserFile(a); });
}

void getCustomFile(FgXeWrapperImpl& a, void* buffer) {
    copyString(a.lookupTable().customFile, buffer);
}

void setSaveFile(FgXeWrapperImpl& a, const void* name, bool report) {
    if (name == nullptr) return reject(kValueOutOfRange, report);
    commit(a.lookupTable().saveFile, std::string(static_cast<const char*>(name)), report, [&] {
        if (!a.lookupTable().saveFile.empty()) saveTable(a);
    });
}

void getSaveFile(FgXeWrapperImpl& a, void* buffer) {
    copyString(a.lookupTable().saveFile, buffer);
}

int32_t getImplementationType(FgXeWrapperImpl&) {
    return kFullLut;
}

int32_t getLutBits(FgXeWrapperImpl&) {
    return kLutBits;
}

constexpr ParameterBinding kBindings[] = {
    {kIdLutType, intSetter<setType>, intGetter<getType>,
     fieldOf<&FgXeWrapperImpl::lookupTable, &LookupTableState::type>},
    {kIdLutImplementationType, nullptr, intGetter<getImplementationType>},
    {kIdLutInBits, nullptr, intGetter<getLutBits>},
    {kIdLutOutBits, nullptr, intGetter<getLutBits>},
    {kIdLutValue, pointerSetter<setValue>, getValue},
    {kIdLutCustomFile, pointerSetter<setCustomFile>, getCustomFile,
     fieldOf<&FgXeWrapperImpl::lookupTable, &LookupTableState::customFile>},
    {kIdLutSaveFile, pointerSetter<setSaveFile>, getSaveFile},
    {kIdProcessingOffset, doubleSetter<setProcessingValue<kOffsetRange>>,
     doubleGetter<getProcessingValue<kOffsetRange>>,
     fieldOf<&FgXeWrapperImpl::lookupTable, &LookupTableState::offset>},
    {kIdProcessingGain, doubleSetter<setProcessingValue<kGainRange>>,
     doubleGetter<getProcessingValue<kGainRange>>,
     fieldOf<&FgXeWrapperImpl::lookupTable, &LookupTableState::gain>},
    {kIdProcessingGamma, doubleSetter<setProcessingValue<kGammaRange>>,
     doubleGetter<getProcessingValue<kGammaRange>>,
     fieldOf<&FgXeWrapperImpl::lookupTable, &LookupTableState::gamma>},
    {kIdProcessingInvert, intSetter<setInvert>, intGetter<getInvert>,
     fieldOf<&FgXeWrapperImpl::lookupTable, &LookupTableState::invert>},
};

} // namespace

std::span<const ParameterBinding> lookupTableBindings() {
    return kBindings;
}

} // namespace pellvane
