#include "foundation/PropertyList.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

namespace foundation {

namespace {

// Seconds from 1970-01-01 to 2001-01-01, the reference date of property-list dates.
constexpr double kSeconds1970To2001 = 978307200.0;
constexpr int kMaximumDepth = 512;

struct PlistDeleter {
    void operator()(plist_t p) const {
        if (p) plist_free(p);
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

Error readError(std::string reason) {
    return Error(PropertyListError{std::move(reason), false});
}
Error writeError(std::string reason) {
    return Error(PropertyListError{std::move(reason), true});
}

std::expected<PropertyList, Error> convert(plist_t node, int depth) {
    if (depth > kMaximumDepth)
        return std::unexpected(readError("nesting deeper than " + std::to_string(kMaximumDepth) + " levels"));
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PropertyList(b != 0);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            // Negative integers are kept in two's complement.
            std::int64_t i = 0;
            std::memcpy(&i, &u, sizeof i);
            return PropertyList(i);
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return PropertyList(d);
        }
        case PLIST_STRING: {
            char* s = nullptr;
            plist_get_string_val(node, &s);
            std::string text = s ? s : "";
            std::free(s);
            return PropertyList(std::move(text));
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return PropertyList(Date(kSeconds1970To2001 + sec + usec / 1e6));
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            Data data;
            if (bytes && length > 0)
                data.assign(reinterpret_cast<const std::uint8_t*>(bytes),
                            reinterpret_cast<const std::uint8_t*>(bytes) + length);
            std::free(bytes);
            return PropertyList(std::move(data));
        }
        case PLIST_ARRAY: {
            PropertyList::Array array;
            const uint32_t n = plist_array_get_size(node);
            array.reserve(n);
            for (uint32_t i = 0; i < n; ++i) {
                plist_t item = plist_array_get_item(node, i);
                if (!item) return std::unexpected(readError("an array element is missing"));
                auto value = convert(item, depth + 1);
                if (!value) return value;
                array.push_back(std::move(*value));
            }
            return PropertyList(std::move(array));
        }
        case PLIST_DICT: {
            PropertyList::Dictionary dict;
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            if (!iter) return PropertyList(std::move(dict));
            std::expected<PropertyList, Error> failure = PropertyList();
            bool failed = false;
            while (true) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, iter, &key, &value);
                if (!value) {
                    std::free(key);
                    break;
                }
                std::string name = key ? key : "";
                std::free(key);
                auto converted = convert(value, depth + 1);
                if (!converted) {
                    failure = std::move(converted);
                    failed = true;
                    break;
                }
                dict.insert_or_assign(std::move(name), std::move(*converted));
            }
            std::free(iter);
            if (failed) return failure;
            return PropertyList(std::move(dict));
        }
        case PLIST_UID:
            return std::unexpected(readError("keyed-archive references (UID values) are not supported"));
        default:
            return std::unexpected(readError("the data holds a value of an unknown type"));
    }
}

std::expected<PlistPtr, Error> build(const PropertyList& value, int depth) {
    if (depth > kMaximumDepth)
        return std::unexpected(writeError("nesting deeper than " + std::to_string(kMaximumDepth) + " levels"));
    switch (value.type()) {
        case PropertyList::Type::string:
            return PlistPtr(plist_new_string(value.asString()->c_str()));
        case PropertyList::Type::integer: {
            const std::int64_t i = *value.asInteger();
            uint64_t u = 0;
            std::memcpy(&u, &i, sizeof u);
            return PlistPtr(plist_new_uint(u));
        }
        case PropertyList::Type::real: {
            const double d = *value.asReal();
            if (!std::isfinite(d)) return std::unexpected(writeError("a real number is not finite"));
            return PlistPtr(plist_new_real(d));
        }
        case PropertyList::Type::boolean:
            return PlistPtr(plist_new_bool(*value.asBool() ? 1 : 0));
        case PropertyList::Type::date: {
            const double since2001 = value.asDate()->timeIntervalSince1970() - kSeconds1970To2001;
            if (!std::isfinite(since2001) || since2001 < std::numeric_limits<int32_t>::min() ||
                since2001 >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
                return std::unexpected(writeError("a date lies outside the years 1933 to 2069 that can be written"));
            }
            const double whole = std::floor(since2001);
            auto usec = static_cast<int32_t>(std::lround((since2001 - whole) * 1e6));
            auto sec = static_cast<int32_t>(whole);
            if (usec >= 1000000) {
                usec -= 1000000;
                sec += 1;
            }
            return PlistPtr(plist_new_date(sec, usec));
        }
        case PropertyList::Type::data: {
            const Data& d = *value.asData();
            return PlistPtr(plist_new_data(reinterpret_cast<const char*>(d.data()), d.size()));
        }
        case PropertyList::Type::array: {
            PlistPtr array(plist_new_array());
            for (const auto& item : *value.asArray()) {
                auto child = build(item, depth + 1);
                if (!child) return child;
                plist_array_append_item(array.get(), child->release());
            }
            return array;
        }
        case PropertyList::Type::dictionary: {
            PlistPtr dict(plist_new_dict());
            for (const auto& [key, item] : *value.asDictionary()) {
                if (key.find('\0') != std::string::npos)
                    return std::unexpected(writeError("a key holds a NUL character"));
                auto child = build(item, depth + 1);
                if (!child) return child;
                plist_dict_set_item(dict.get(), key.c_str(), child->release());
            }
            return dict;
        }
    }
    return std::unexpected(writeError("unknown value type"));
}

}  // namespace

std::optional<std::int64_t> PropertyList::asInteger() const {
    if (auto p = std::get_if<std::int64_t>(&value_)) return *p;
    return std::nullopt;
}
std::optional<double> PropertyList::asReal() const {
    if (auto p = std::get_if<double>(&value_)) return *p;
    return std::nullopt;
}
std::optional<bool> PropertyList::asBool() const {
    if (auto p = std::get_if<bool>(&value_)) return *p;
    return std::nullopt;
}
std::optional<Date> PropertyList::asDate() const {
    if (auto p = std::get_if<Date>(&value_)) return *p;
    return std::nullopt;
}

const PropertyList* PropertyList::find(std::string_view key) const {
    const auto* dict = asDictionary();
    if (!dict) return nullptr;
    auto it = dict->find(key);
    return it == dict->end() ? nullptr : &it->second;
}

std::string PropertyListError::localizedDescription() const {
    return std::string(writing ? "The property list could not be written: " : "The property list could not be read: ") +
           reason + ".";
}

std::expected<PropertyList, Error> PropertyListSerialization::propertyList(const Data& data) {
    if (data.empty()) return std::unexpected(readError("the data is empty"));
    if (data.size() > std::numeric_limits<uint32_t>::max()) return std::unexpected(readError("the data is too large"));
    const auto* bytes = reinterpret_cast<const char*>(data.data());
    const auto length = static_cast<uint32_t>(data.size());
    plist_t raw = nullptr;
    if (plist_is_binary(bytes, length)) {
        plist_from_bin(bytes, length, &raw);
    } else {
        // The XML reader wants the text to end; a copy with a terminating NUL keeps it inside the buffer.
        std::string text(bytes, length);
        if (text.find("<plist") == std::string::npos && text.find("<?xml") == std::string::npos) {
            return std::unexpected(readError("the data is neither an XML nor a binary property list"));
        }
        plist_from_xml(text.c_str(), length, &raw);
    }
    PlistPtr root(raw);
    if (!root) return std::unexpected(readError("the data is not a well-formed property list"));
    return convert(root.get(), 0);
}

std::expected<PropertyList, Error> PropertyListSerialization::propertyList(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::unexpected(readError("cannot open \"" + path + "\""));
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    auto result = propertyList(Data(text.begin(), text.end()));
    if (!result) {
        const auto* e = result.error().as<PropertyListError>();
        return std::unexpected(
            readError("\"" + path + "\": " + (e ? e->reason : result.error().localizedDescription())));
    }
    return result;
}

std::expected<Data, Error> PropertyListSerialization::data(const PropertyList& value, Format format) {
    auto root = build(value, 0);
    if (!root) return std::unexpected(root.error());
    char* out = nullptr;
    uint32_t length = 0;
    Data data;
    if (format == Format::xml) {
        plist_to_xml(root->get(), &out, &length);
        if (!out) return std::unexpected(writeError("the XML writer failed"));
        data.assign(reinterpret_cast<const std::uint8_t*>(out), reinterpret_cast<const std::uint8_t*>(out) + length);
        plist_to_xml_free(out);
    } else {
        plist_to_bin(root->get(), &out, &length);
        if (!out) return std::unexpected(writeError("the binary writer failed"));
        data.assign(reinterpret_cast<const std::uint8_t*>(out), reinterpret_cast<const std::uint8_t*>(out) + length);
        plist_to_bin_free(out);
    }
    return data;
}

std::expected<void, Error> PropertyListSerialization::write(const PropertyList& value, const std::string& path,
                                                            Format format) {
    auto bytes = data(value, format);
    if (!bytes) return std::unexpected(bytes.error());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return std::unexpected(writeError("cannot create \"" + path + "\""));
    out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
    if (!out) return std::unexpected(writeError("cannot write \"" + path + "\""));
    return {};
}

}  // namespace foundation
