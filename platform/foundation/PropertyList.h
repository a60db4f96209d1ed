#pragma once

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "foundation/Data.h"
#include "foundation/Date.h"
#include "foundation/Error.h"

namespace foundation {

// A property-list value: text, integer, real, bool, date, data, array or dictionary, nested freely.
// A plain value; dictionaries keep their keys sorted. Integers are signed 64-bit (an unsigned value above
// the signed range reads as its two's-complement value); dates are written with whole microseconds
// between the years 1933 and 2069, the range of the property-list formats' 32-bit seconds.
class PropertyList {
  public:
    using Array = std::vector<PropertyList>;
    using Dictionary = std::map<std::string, PropertyList, std::less<>>;
    enum class Type { string, integer, real, boolean, date, data, array, dictionary };

    PropertyList() : value_(Dictionary{}) {}  // an empty dictionary
    PropertyList(std::string v) : value_(std::move(v)) {}
    PropertyList(const char* v) : value_(std::string(v)) {}
    PropertyList(std::int64_t v) : value_(v) {}
    PropertyList(int v) : value_(static_cast<std::int64_t>(v)) {}
    PropertyList(double v) : value_(v) {}
    PropertyList(bool v) : value_(v) {}
    PropertyList(Date v) : value_(v) {}
    PropertyList(Data v) : value_(std::move(v)) {}
    PropertyList(Array v) : value_(std::move(v)) {}
    PropertyList(Dictionary v) : value_(std::move(v)) {}

    Type type() const { return static_cast<Type>(value_.index()); }

    // The value when it has that type, else nothing (no conversions: an integer is not a real).
    const std::string* asString() const { return std::get_if<std::string>(&value_); }
    std::optional<std::int64_t> asInteger() const;
    std::optional<double> asReal() const;
    std::optional<bool> asBool() const;
    std::optional<Date> asDate() const;
    const Data* asData() const { return std::get_if<Data>(&value_); }
    const Array* asArray() const { return std::get_if<Array>(&value_); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&value_); }
    Array* asArray() { return std::get_if<Array>(&value_); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&value_); }

    // The value under `key` of a dictionary; nothing for another type or a missing key.
    const PropertyList* find(std::string_view key) const;

    friend bool operator==(const PropertyList&, const PropertyList&) = default;

  private:
    std::variant<std::string, std::int64_t, double, bool, Date, Data, Array, Dictionary> value_;
};

// Failure to read or write a property list; bridged as NSCocoaErrorDomain 3840 (read) / 3851 (write).
struct PropertyListError {
    std::string reason;
    bool writing = false;
    std::string localizedDescription() const;
    std::string domain() const { return "NSCocoaErrorDomain"; }
    int code() const { return writing ? 3851 : 3840; }
};

struct PropertyListSerialization {
    enum class Format { xml, binary };

    // Reads XML ("<?xml"/"<plist") or binary ("bplist00") property lists. Empty, truncated or garbage data
    // is a PropertyListError, never a crash or a partial value.
    static std::expected<PropertyList, Error> propertyList(const Data& data);
    // Reads a file; a missing or unreadable file is a PropertyListError naming the path.
    static std::expected<PropertyList, Error> propertyList(const std::string& path);
    static std::expected<Data, Error> data(const PropertyList& value, Format format = Format::xml);
    // Writes the file (replacing it).
    static std::expected<void, Error> write(const PropertyList& value, const std::string& path,
                                            Format format = Format::xml);
};

}  // namespace foundation
