#include "uikit/UIDevice.h"

#include <sys/utsname.h>
#include <unistd.h>

namespace uikit {

namespace {

struct utsname systemNames() {
    struct utsname names {};
    if (::uname(&names) != 0) names = {};
    return names;
}

}  // namespace

UIDevice& UIDevice::current() {
    static UIDevice device;
    return device;
}

UIUserInterfaceIdiom UIDevice::userInterfaceIdiom() const {
    std::lock_guard lock(mutex_);
    return idiom_;
}

void UIDevice::setUserInterfaceIdiom(UIUserInterfaceIdiom idiom) {
    std::lock_guard lock(mutex_);
    idiom_ = idiom;
}

std::string UIDevice::name() const {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return "localhost";
    return host;
}

std::string UIDevice::systemName() const {
    return systemNames().sysname;
}
std::string UIDevice::systemVersion() const {
    return systemNames().release;
}
std::string UIDevice::model() const {
    return systemNames().machine;
}

}  // namespace uikit
