#pragma once
// The number formats of the model and animation files.
//
// Written: decimal integers; floats in general notation with six significant
// digits, as printf's "%g" writes them in the C locale (1, 0.5, 0.333333,
// 1e+06, 1e-05).
//
// Read: values in order, any white space before each and no line structure,
// the way a text stream reads them: an optionally signed decimal integer; a
// decimal float with an optional exponent of any length; a bool as the
// integer 0 or 1. A value that cannot be read leaves its target unchanged and
// makes every later read fail as well.

#include <cstdint>
#include <string>
#include <string_view>

#include "model/node_model.h"

namespace model_text {

void append_int(std::string& out, int32_t v);
void append_float(std::string& out, float v);
// A node's x, y and value, each followed by a tab, then one more tab: the
// empty field that both files put after every node.
void append_node(std::string& out, const ModelNode& node);

class ValueReader {
public:
    explicit ValueReader(std::string_view text) : text_(text) {}

    bool read(int32_t& v);
    bool read(float& v);
    bool read(bool& v);  // the integer 0 or 1; anything else fails
    bool read(ModelNode& node);  // x, y and value; fields not read stay as they were

    bool failed() const { return failed_; }

private:
    // The next token's digits: optional sign, then digits; false (and failed)
    // when there are none. Sets `negative` and leaves the digits in `digits`.
    bool read_integer_token(bool& negative, std::string_view& digits);
    void skip_space();
    bool fail();

    std::string_view text_;
    size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace model_text
