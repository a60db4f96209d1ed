// Fuzz target for the property-list reader: any bytes give a value or a clear PropertyListError, never
// an abort inside the library underneath, a crash or a partial value; a value that was read can be
// written again in both formats, and what is written reads back as the same value.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "foundation/PropertyList.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property-list invariant broken: %s\n", what);
        std::abort();
    }
}

// Values the writers can take back unchanged: texts without NUL, finite reals, dates in the writable range.
bool writable(const foundation::PropertyList& value) {
    using Type = foundation::PropertyList::Type;
    switch (value.type()) {
        case Type::string:
            return value.asString()->find('\0') == std::string::npos;
        case Type::real:
            return std::isfinite(*value.asReal());
        case Type::date: {
            const double since2001 = value.asDate()->timeIntervalSince1970() - 978307200.0;
            return since2001 > -2147483648.0 && since2001 < 2147483647.0;
        }
        case Type::array:
            for (const auto& item : *value.asArray()) {
                if (!writable(item)) return false;
            }
            return true;
        case Type::dictionary:
            for (const auto& [key, item] : *value.asDictionary()) {
                if (key.find('\0') != std::string::npos || !writable(item)) return false;
            }
            return true;
        default:
            return true;
    }
}

bool holdsNUL(const foundation::PropertyList& value) {
    if (const auto* text = value.asString()) return text->find('\0') != std::string::npos;
    if (const auto* array = value.asArray()) {
        for (const auto& item : *array) {
            if (holdsNUL(item)) return true;
        }
    }
    if (const auto* dictionary = value.asDictionary()) {
        for (const auto& [key, item] : *dictionary) {
            if (key.find('\0') != std::string::npos || holdsNUL(item)) return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const foundation::Data bytes(data, data + size);
    const auto read = foundation::PropertyListSerialization::propertyList(bytes);
    if (!read) {
        check(read.error().is<foundation::PropertyListError>(), "a failure is a PropertyListError");
        check(!read.error().localizedDescription().empty(), "a failure has a description");
        return 0;
    }
    check(!holdsNUL(*read), "no text or key that is read holds a NUL character");
    if (!writable(*read)) return 0;
    for (auto format :
         {foundation::PropertyListSerialization::Format::binary, foundation::PropertyListSerialization::Format::xml}) {
        const auto written = foundation::PropertyListSerialization::data(*read, format);
        if (!written) {
            check(written.error().is<foundation::PropertyListError>(), "a write failure is a PropertyListError");
            continue;
        }
        const auto again = foundation::PropertyListSerialization::propertyList(*written);
        check(again.has_value(), "what is written reads back");
    }
    return 0;
}
