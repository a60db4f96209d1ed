#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "dispatch/testing/EnvironmentScope.h"
#include "dispatch/testing/TemporaryFolder.h"
#include "foundation/Bundle.h"
#include "foundation/PropertyList.h"
#include "foundation/testing/MainBundleScope.h"

namespace foundation {
namespace {

namespace fs = std::filesystem;

// Written by another property-list implementation, so the reader is not only checked against our writer.
const Data kBinaryFromElsewhere = {
    0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd8, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
    0x0a, 0x0b, 0x0c, 0x0f, 0x10, 0x11, 0x12, 0x5f, 0x10, 0x12, 0x43, 0x46, 0x42, 0x75, 0x6e, 0x64, 0x6c, 0x65,
    0x49, 0x64, 0x65, 0x6e, 0x74, 0x69, 0x66, 0x69, 0x65, 0x72, 0x53, 0x62, 0x69, 0x67, 0x54, 0x62, 0x6c, 0x6f,
    0x62, 0x54, 0x6c, 0x69, 0x73, 0x74, 0x51, 0x6e, 0x52, 0x6f, 0x6b, 0x52, 0x70, 0x69, 0x54, 0x77, 0x68, 0x65,
    0x6e, 0x5f, 0x10, 0x10, 0x63, 0x6f, 0x6d, 0x2e, 0x65, 0x78, 0x61, 0x6d, 0x70, 0x6c, 0x65, 0x2e, 0x68, 0x6f,
    0x73, 0x74, 0x13, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x43, 0x00, 0x01, 0xff, 0xa2, 0x0d, 0x0e,
    0x51, 0x61, 0x10, 0x01, 0x13, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfb, 0x09, 0x23, 0x40, 0x04, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x33, 0x41, 0xc5, 0xcb, 0xaf, 0x46, 0x80, 0x00, 0x00, 0x08, 0x19, 0x2e, 0x32,
    0x37, 0x3c, 0x3e, 0x41, 0x44, 0x49, 0x5c, 0x65, 0x69, 0x6c, 0x6e, 0x70, 0x79, 0x7a, 0x83, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x13, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8c};

PropertyList sample() {
    return PropertyList::Dictionary{{"CFBundleIdentifier", "com.example.host"},
                                    {"n", -5},
                                    {"big", std::int64_t{1} << 40},
                                    {"pi", 2.5},
                                    {"ok", true},
                                    {"when", Date(1709647629.0)},
                                    {"blob", Data{0x00, 0x01, 0xff}},
                                    {"list", PropertyList::Array{"a", 1}}};
}

TEST(PropertyListTest, BinaryFromAnotherWriterReadsEveryType) {
    auto plist = PropertyListSerialization::propertyList(kBinaryFromElsewhere);
    ASSERT_TRUE(plist) << plist.error().localizedDescription();
    EXPECT_EQ(*plist, sample());
    EXPECT_EQ(*plist->find("CFBundleIdentifier")->asString(), "com.example.host");
    EXPECT_EQ(plist->find("n")->asInteger(), -5);
    EXPECT_FALSE(plist->find("n")->asReal());  // no conversions between types
    EXPECT_EQ(plist->find("when")->asDate()->timeIntervalSince1970(), 1709647629.0);
    EXPECT_EQ(plist->find("missing"), nullptr);
}

TEST(PropertyListTest, BothFormatsRoundTrip) {
    for (auto format : {PropertyListSerialization::Format::xml, PropertyListSerialization::Format::binary}) {
        auto bytes = PropertyListSerialization::data(sample(), format);
        ASSERT_TRUE(bytes);
        const std::string head = stringFromData(Data(bytes->begin(), bytes->begin() + 8));
        EXPECT_EQ(head == "bplist00", format == PropertyListSerialization::Format::binary);
        auto back = PropertyListSerialization::propertyList(*bytes);
        ASSERT_TRUE(back) << back.error().localizedDescription();
        EXPECT_EQ(*back, sample());
    }
    auto fraction =
        PropertyListSerialization::data(PropertyList(Date(1709647629.25)), PropertyListSerialization::Format::binary);
    EXPECT_EQ(PropertyListSerialization::propertyList(*fraction)->asDate()->timeIntervalSince1970(), 1709647629.25);
    EXPECT_FALSE(PropertyListSerialization::data(PropertyList(std::nan(""))));
    EXPECT_FALSE(PropertyListSerialization::data(PropertyList(Date(1e12))));  // beyond what the format can hold
    // Texts the writers would cut short or write as a file nobody can read are refused instead.
    const std::vector<PropertyList> unwritable = {
        PropertyList(std::string("a\0b", 3)), PropertyList(std::string("\x98ig")),
        PropertyList(PropertyList::Dictionary{{std::string("\x98ig"), 1}}),
        PropertyList(PropertyList::Array{std::string("\xed\xa0\x80")}),  // a UTF-16 surrogate
    };
    for (const auto& value : unwritable) {
        for (auto format : {PropertyListSerialization::Format::xml, PropertyListSerialization::Format::binary}) {
            auto written = PropertyListSerialization::data(value, format);
            ASSERT_FALSE(written);
            EXPECT_EQ(written.error().code(), 3851);
        }
    }
    auto accented =
        PropertyListSerialization::data(PropertyList("caf\u00e9 \u263a"), PropertyListSerialization::Format::binary);
    ASSERT_TRUE(accented);
    EXPECT_EQ(*PropertyListSerialization::propertyList(*accented)->asString(), "caf\u00e9 \u263a");
}

TEST(PropertyListTest, GarbageAndTruncatedDataAreClearErrors) {
    for (const std::string text : {"", "hello", "<plist><dict><key>a</key>", "bplist00", "{\"a\":1}",
                                   "<?xml version=\"1.0\"?><plist><integer>x"}) {
        auto r = PropertyListSerialization::propertyList(dataFromString(text));
        ASSERT_FALSE(r) << text;
        EXPECT_EQ(r.error().domain(), "NSCocoaErrorDomain");
        EXPECT_EQ(r.error().code(), 3840);
        EXPECT_EQ(r.error().localizedDescription().rfind("The property list could not be read: ", 0), 0u);
    }
    // Every cut of a valid file gives an error or a value, never a crash.
    auto xml = *PropertyListSerialization::data(sample(), PropertyListSerialization::Format::xml);
    for (const Data* whole : {&kBinaryFromElsewhere, static_cast<const Data*>(&xml)}) {
        for (std::size_t n = 0; n < whole->size(); ++n) {
            (void)PropertyListSerialization::propertyList(Data(whole->begin(), whole->begin() + static_cast<long>(n)));
        }
    }
    auto missing = PropertyListSerialization::propertyList(std::string("/nonexistent/Info.plist"));
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().localizedDescription().find("/nonexistent/Info.plist"), std::string::npos);
}

// A binary property list {key: value} from the encoded key and value objects (one-byte references).
Data binaryDictionary(const Data& key, const Data& value) {
    Data out = dataFromString("bplist00");
    const std::uint8_t dictionary = static_cast<std::uint8_t>(out.size());
    for (std::uint8_t byte : {0xD1, 0x01, 0x02}) out.push_back(byte);
    const std::uint8_t keyAt = static_cast<std::uint8_t>(out.size());
    out.insert(out.end(), key.begin(), key.end());
    const std::uint8_t valueAt = static_cast<std::uint8_t>(out.size());
    out.insert(out.end(), value.begin(), value.end());
    const std::uint8_t table = static_cast<std::uint8_t>(out.size());
    for (std::uint8_t offset : {dictionary, keyAt, valueAt}) out.push_back(offset);
    const Data trailer = {0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 3,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, table};
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}

TEST(PropertyListTest, TextsAndKeysHoldingANULCharacterAreRefusedNotAborted) {
    using namespace std::string_literals;
    const Data plainKey = {0x51, 'k'};
    const Data plainValue = {0x51, 'v'};
    const Data asciiWithNUL = {0x53, 'a', 0x00, 'b'};
    const Data utf16WithNUL = {0x63, 0x00, 'a', 0x00, 0x00, 0x00, 'b'};
    ASSERT_EQ(*PropertyListSerialization::propertyList(binaryDictionary(plainKey, plainValue))->find("k")->asString(),
              "v");
    const std::string xmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>";
    const std::vector<Data> hostile = {
        binaryDictionary(plainKey, utf16WithNUL),
        binaryDictionary(utf16WithNUL, plainValue),
        binaryDictionary(plainKey, asciiWithNUL),
        binaryDictionary(asciiWithNUL, plainValue),
        dataFromString(xmlHead + "<key>k</key><string>a\0b</string></dict></plist>"s),
        dataFromString(xmlHead + "<key>a\0b</key><string>v</string></dict></plist>"s),
    };
    for (const Data& data : hostile) {
        auto read = PropertyListSerialization::propertyList(data);
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error().code(), 3840);
        EXPECT_NE(read.error().localizedDescription().find("NUL character"), std::string::npos)
            << read.error().localizedDescription();
    }
}

TEST(PropertyListTest, OnlyRegularFilesAreReadAndTheErrorSaysWhatThePathIs) {
    const dispatch::testing::TemporaryFolder scratch("plist");
    const fs::path& folder = scratch.path();
    const fs::path fifo = folder / "Info.plist";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO without a writer would block a plain open for ever.
    auto fromFIFO = PropertyListSerialization::propertyList(fifo.string());
    ASSERT_FALSE(fromFIFO);
    EXPECT_NE(fromFIFO.error().localizedDescription().find("\"" + fifo.string() + "\": is a FIFO, not a regular file"),
              std::string::npos)
        << fromFIFO.error().localizedDescription();
    auto fromFolder = PropertyListSerialization::propertyList(folder.string());
    ASSERT_FALSE(fromFolder);
    EXPECT_NE(fromFolder.error().localizedDescription().find("is a folder, not a regular file"), std::string::npos)
        << fromFolder.error().localizedDescription();
    auto fromDevice = PropertyListSerialization::propertyList(std::string("/dev/zero"));
    ASSERT_FALSE(fromDevice);
    EXPECT_NE(fromDevice.error().localizedDescription().find("is a character device"), std::string::npos);
    // A regular file behind a link is read.
    const fs::path file = folder / "real.plist";
    ASSERT_TRUE(PropertyListSerialization::write(sample(), file.string()));
    fs::create_symlink(file, folder / "link.plist");
    auto throughLink = PropertyListSerialization::propertyList((folder / "link.plist").string());
    ASSERT_TRUE(throughLink) << throughLink.error().localizedDescription();
    EXPECT_EQ(*throughLink, sample());
}

// A bundle folder with a file beside it, both in a folder of the test's own.
class BundleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root_ / "Resources");
        std::ofstream(root_ / "Auth0.plist") << "x";
        std::ofstream(root_ / "Resources" / "Gibson-Light.otf") << "x";
        std::ofstream(root_.parent_path() / "outside.txt") << "x";
    }
    dispatch::testing::TemporaryFolder scratch_{"bundle"};
    const fs::path root_ = scratch_ / "Host.bundle";
};

TEST_F(BundleTest, InfoDictionaryAndResources) {
    auto info = sample();
    info.asDictionary()->emplace("SDK_PlayServiceURL", "http://127.0.0.1:1/");
    ASSERT_TRUE(PropertyListSerialization::write(info, (root_ / "Info.plist").string(),
                                                 PropertyListSerialization::Format::binary));
    Bundle bundle(root_.string());
    EXPECT_EQ(bundle.bundleIdentifier(), "com.example.host");
    EXPECT_EQ(*bundle.object("SDK_PlayServiceURL")->asString(), "http://127.0.0.1:1/");
    EXPECT_EQ(bundle.infoDictionary().size(), 9u);
    EXPECT_FALSE(bundle.infoPlistError());
    EXPECT_EQ(bundle.bundleURL().lastPathComponent(), root_.filename().string());

    EXPECT_EQ(bundle.path("Auth0", "plist"), (root_ / "Auth0.plist").string());
    EXPECT_EQ(bundle.url("Gibson-Light", "otf")->path(), (root_ / "Resources" / "Gibson-Light.otf").string());
    EXPECT_EQ(bundle.path("Auth0.plist", ""), (root_ / "Auth0.plist").string());
    EXPECT_FALSE(bundle.path("Missing", "plist"));
    EXPECT_FALSE(bundle.path("../outside", "txt"));  // never outside the bundle
    EXPECT_FALSE(bundle.path((root_.parent_path() / "outside").string(), "txt"));
}

TEST_F(BundleTest, MissingOrBrokenInfoPlistGivesAnEmptyDictionary) {
    Bundle empty(root_.string());
    EXPECT_TRUE(empty.infoDictionary().empty());
    EXPECT_FALSE(empty.bundleIdentifier());
    EXPECT_FALSE(empty.infoPlistError());

    std::ofstream(root_ / "Info.plist") << "<?xml version=\"1.0\"?><plist><dict><key>a";
    Bundle broken(root_.string());
    EXPECT_TRUE(broken.infoDictionary().empty());
    ASSERT_TRUE(broken.infoPlistError());
    EXPECT_EQ(broken.infoPlistError()->code(), 3840);

    ASSERT_TRUE(PropertyListSerialization::write(PropertyList("not a dictionary"), (root_ / "Info.plist").string()));
    EXPECT_TRUE(Bundle(root_.string()).infoPlistError());
}

TEST_F(BundleTest, MainBundleComesFromTheEnvironmentOrTheExecutableFolder) {
    {
        const testing::MainBundleScope executableFolder(std::nullopt);
        EXPECT_EQ(fs::path(Bundle::main().bundlePath()), fs::canonical("/proc/self/exe").parent_path());
    }

    ASSERT_TRUE(PropertyListSerialization::write(sample(), (root_ / "Info.plist").string()));
    const testing::MainBundleScope mainBundle(root_.string());
    EXPECT_EQ(Bundle::main().bundleIdentifier(), "com.example.host");
    const dispatch::testing::EnvironmentScope elsewhere("LUMORA_MAIN_BUNDLE", "/elsewhere");
    EXPECT_EQ(Bundle::main().bundleIdentifier(), "com.example.host");  // resolved once
}

}  // namespace
}  // namespace foundation
