#pragma once

#include <optional>
#include <string>

namespace lumora {

// A description of the device the kit runs on.
struct DeviceInfo {
    // A stable identifier of this installation: a UUID (upper-case text) kept in the host's data folder.
    std::string identifier;
    // The host name.
    std::string name;
    // The machine's hardware code ("x86_64", "aarch64").
    std::string code;
    // The hardware maker as the firmware reports it, "unknown" when it does not.
    std::string manufacturer;
    // The kind of system ("Linux").
    std::string model;
    // The firmware's product name, else the hardware code.
    std::string internalModelName;
    // The operating system's name ("Debian GNU/Linux"), else the kernel's name.
    std::string systemName;
    // The operating system's version ("12"), else the kernel's release.
    std::string systemVersion;

    // The current device, worked out once per process.
    static const DeviceInfo& current();

    // Where the pieces come from; tests point them at folders of their own.
    struct Sources {
        std::string osReleasePath = "/etc/os-release";
        std::string firmwareFolder = "/sys/class/dmi/id";
        // The file that keeps the identifier; nothing: identifierPath() of the current environment.
        std::optional<std::string> identifierPath;
    };
    static DeviceInfo make(const Sources& sources);

    // $XDG_DATA_HOME (when set to an absolute path), else $HOME/.local/share, followed by the main
    // bundle's identifier (or "lumora") and "device-id". Nothing when neither variable gives a folder.
    static std::optional<std::string> identifierPath();

    // The identifier kept in `path`: read when the file holds a UUID; otherwise a new one, written with
    // permissions 0600 (its folder 0700) so that it appears whole or not at all, and the first of two
    // concurrent writers wins. A damaged file is replaced in one step by one process at a time (under a lock
    // on its folder), so processes that find it damaged together all end with the identifier on disk. When
    // the file cannot be written the new identifier is still returned.
    static std::string loadOrCreateIdentifier(const std::string& path);
};

}  // namespace lumora
