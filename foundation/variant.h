// A tagged value: nothing, a 32-bit integer, a string, or another kind that
// names nothing (a floating-point number, say). Collections take it as their
// index-or-name argument; business-object parameters hold one.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

namespace omb {

class Variant {
public:
    enum class Kind { Empty, Integer, String, Other };

    Variant() = default;
    // A position is given in so many words, as an int: no other number
    // becomes one, and no number turns into a position (or, 0, into a name)
    // by itself.
    explicit Variant(int v) : kind_(Kind::Integer), int_(v) {}
    template <typename T, typename std::enable_if<std::is_arithmetic<T>::value, int>::type = 0>
    Variant(T) = delete;
    Variant(const char* s) : kind_(Kind::String), str_(s ? s : "") {}
    Variant(std::string s) : kind_(Kind::String), str_(std::move(s)) {}
    // A value of a kind that is neither a position nor a name.
    static Variant OtherKind(double v) {
        Variant r;
        r.kind_ = Kind::Other;
        r.other_ = v;
        return r;
    }

    Kind kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == Kind::Empty; }
    bool IsInteger() const { return kind_ == Kind::Integer; }
    bool IsString() const { return kind_ == Kind::String; }

    int AsInteger() const { return int_; }
    const std::string& AsStringRef() const { return str_; }

    // The value's text form: a string unchanged, an integer in decimal digits,
    // nothing as "0".
    std::string ToText() const;

    bool operator==(const Variant& o) const {
        return kind_ == o.kind_ && int_ == o.int_ && str_ == o.str_ && other_ == o.other_;
    }
    bool operator!=(const Variant& o) const { return !(*this == o); }

private:
    Kind kind_ = Kind::Empty;
    int32_t int_ = 0;
    std::string str_;
    double other_ = 0;
};

inline std::string Variant::ToText() const {
    switch (kind_) {
        case Kind::Integer: return std::to_string(int_);
        case Kind::String: return str_;
        case Kind::Other: return std::to_string(other_);
        case Kind::Empty: break;
    }
    return "0";
}

}  // namespace omb
