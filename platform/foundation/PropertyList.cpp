#include "foundation/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

namespace foundation {

namespace {

// Seconds from 1970-01-01 to 2001-01-01, the reference date of property-list dates.
constexpr double kSeconds1970To2001 = 978307200.0;
constexpr int kMaximumDepth = 512;
// Configuration and resources are small; a larger file is not one of them.
constexpr std::uint64_t kMaximumFileBytes = 64u << 20;
constexpr const char* kNULText = "a text or key holds a NUL character";

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
            // Read with its length: the library's copying getter aborts on a text that holds a NUL.
            std::uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            if (!s) return PropertyList(std::string());
            std::string text(s, static_cast<std::size_t>(length));
            if (text.find('\0') != std::string::npos) return std::unexpected(readError(kNULText));
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

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::expected<PlistPtr, Error> build(const PropertyList& value, int depth) {
    if (depth > kMaximumDepth)
        return std::unexpected(writeError("nesting deeper than " + std::to_string(kMaximumDepth) + " levels"));
    switch (value.type()) {
        case PropertyList::Type::string: {
            // The writers take C strings, and the binary one turns non-ASCII text into UTF-16: a NUL would
            // cut the text short and bytes that are not UTF-8 would be written as a file nobody can read.
            const std::string& text = *value.asString();
            if (text.find('\0') != std::string::npos)
                return std::unexpected(writeError("a text holds a NUL character"));
            if (!isUTF8(text)) return std::unexpected(writeError("a text is not valid UTF-8"));
            return PlistPtr(plist_new_string(text.c_str()));
        }
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
                if (!isUTF8(key)) return std::unexpected(writeError("a key is not valid UTF-8"));
                auto child = build(item, depth + 1);
                if (!child) return child;
                plist_dict_set_item(dict.get(), key.c_str(), child->release());
            }
            return dict;
        }
    }
    return std::unexpected(writeError("unknown value type"));
}

std::string fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "not a file";
}

std::uint64_t bigEndian(const std::uint8_t* bytes, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = value << 8 | bytes[i];
    return value;
}

// Whether a binary property list holds a text (ASCII or UTF-16) with a NUL character in it. Texts of this
// form carry their length, so they can; the library underneath aborts the process when one is read as a
// text or a key. Every object the reader can reach is listed in the offset table, so the table is walked
// once; objects it cannot read at all are left for the reader to refuse.
bool binaryHoldsNULText(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHeader = 8;
    constexpr std::size_t kTrailer = 32;
    if (size < kHeader + kTrailer) return false;
    const std::uint8_t* trailer = data + size - kTrailer;
    const std::size_t offsetSize = trailer[6];
    const std::uint64_t objectCount = bigEndian(trailer + 8, 8);
    const std::uint64_t tableOffset = bigEndian(trailer + 24, 8);
    const std::size_t tableEnd = size - kTrailer;
    if (offsetSize == 0 || offsetSize > 8 || tableOffset >= tableEnd) return false;
    if (objectCount > (tableEnd - tableOffset) / offsetSize) return false;
    for (std::uint64_t i = 0; i < objectCount; ++i) {
        const std::uint64_t offset = bigEndian(data + tableOffset + i * offsetSize, offsetSize);
        if (offset >= size) continue;  // the reader takes any offset, the header's bytes too
        const std::uint8_t kind = data[offset] >> 4;
        if (kind != 0x5 && kind != 0x6) continue;  // ASCII and UTF-16 texts
        std::uint64_t count = data[offset] & 0x0F;
        std::size_t position = static_cast<std::size_t>(offset) + 1;
        if (count == 0x0F) {  // the length follows as an integer object
            if (position >= size || data[position] >> 4 != 0x1) continue;
            const std::size_t bytes = std::size_t{1} << (data[position] & 0x0F);
            if (bytes > 8 || position + 1 + bytes > size) continue;
            count = bigEndian(data + position + 1, bytes);
            position += 1 + bytes;
        }
        const std::size_t unit = kind == 0x5 ? 1 : 2;
        if (count > (size - position) / unit) continue;
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint8_t* at = data + position + k * unit;
            if (at[0] == 0 && (unit == 1 || at[1] == 0)) return true;
        }
    }
    return false;
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
        if (binaryHoldsNULText(data.data(), data.size())) return std::unexpected(readError(kNULText));
        plist_from_bin(bytes, length, &raw);
    } else {
        // The XML reader wants the text to end; a copy with a terminating NUL keeps it inside the buffer.
        std::string text(bytes, length);
        if (text.find("<plist") == std::string::npos && text.find("<?xml") == std::string::npos) {
            return std::unexpected(readError("the data is neither an XML nor a binary property list"));
        }
        // XML allows no NUL character anywhere; one inside a text or key would abort the library underneath.
        if (text.find('\0') != std::string::npos)
            return std::unexpected(readError("the XML text holds a NUL character"));
        plist_from_xml(text.c_str(), length, &raw);
    }
    PlistPtr root(raw);
    if (!root) return std::unexpected(readError("the data is not a well-formed property list"));
    return convert(root.get(), 0);
}

std::expected<PropertyList, Error> PropertyListSerialization::propertyList(const std::string& path) {
    auto fail = [&](const std::string& reason) { return std::unexpected(readError("\"" + path + "\": " + reason)); };
    // Opened without waiting (a FIFO would block until a writer came) and read only when it is a regular
    // file: a folder, a device or a FIFO is named for what it is.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(std::string("cannot be opened (") + std::strerror(errno) + ")");
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(std::string("cannot be examined (") + std::strerror(error) + ")");
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail("is " + fileKind(info.st_mode) + ", not a regular file");
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaximumFileBytes) {
        ::close(fd);
        return fail("is larger than a property list may be (" + std::to_string(info.st_size) + " bytes)");
    }
    Data bytes;
    std::uint8_t buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return fail(std::string("cannot be read (") + std::strerror(error) + ")");
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (bytes.size() > kMaximumFileBytes) {
            ::close(fd);
            return fail("is larger than a property list may be");
        }
    }
    ::close(fd);
    auto result = propertyList(bytes);
    if (!result) {
        const auto* e = result.error().as<PropertyListError>();
        return fail(e ? e->reason : result.error().localizedDescription());
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
