// Writes the GenICam GenApi register description (schema 1.0) of one port's information tree.
// Every published parameter becomes a register element addressed by its identifier plus a
// feature that points at it, grouped into a flat list of categories below "Root".
#pragma once

#include "pellvane/ParameterInfoNode.h"

#include <string>
#include <vector>

namespace pellvane {

class ParameterInfoBuilderXML {
public:
    ParameterInfoBuilderXML(const ParameterInfoNode* latestRoot, const char* modelName);
    virtual ~ParameterInfoBuilderXML() = default;

    // The whole document.
    std::string build();

    // Exposed for the tests of the text rules.
    static std::string escape(const char* text);
    static std::string sanitise(const char* name);
    static std::string number(double value);

private:
    struct Category {
        std::string name;
        std::vector<std::string> features;
    };

    void visit(const ParameterInfoNode* category);
    void writeFeature(const ParameterInfoNode& node, const ParameterInfoNode& parent);
    void writeRegisterBody(const ParameterInfoNode& node, int length);
    void record(const ParameterInfoNode& node, const ParameterInfoNode& parent);
    void writeCategory(const Category& c, bool root);

    const ParameterInfoNode* latestRoot_;
    std::string modelName_;
    std::string out_;
    Category root_{"Root", {}};
    std::vector<Category> categories_;
};

} // namespace pellvane
