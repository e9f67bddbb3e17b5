// The settings store against the real registry of the prefix. Every fact is
// checked with a raw RegQueryValueExA as well, so a store that read back what
// it wrongly wrote would still be caught.
#include <gtest/gtest.h>
#include "engine/registry.h"
#include "engine_support.h"
#include <climits>
#include <string>
#include <vector>

using namespace tw_test;

namespace {
const std::string kScratch = "Software\\Orrinwood Software\\TapwiseScratch";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteKeyTree(HKEY_LOCAL_MACHINE, kScratch); }
    void TearDown() override { DeleteKeyTree(HKEY_LOCAL_MACHINE, kScratch); }
};

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey); }
    void TearDown() override { DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey); }
};

std::vector<BYTE> Bytes(const void* data, size_t size)
{
    const BYTE* b = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(b, b + size);
}
}  // namespace

// ---- RegistryWrite ----

TEST_F(RegistryTest, WriteTextWithSizeZeroStoresTextAndItsTerminatingZero)
{
    const char* texts[] = {"hello", "", "C:\\Program Files\\Tapwise", "tab\there"};
    for (const char* text : texts) {
        EXPECT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Text", REG_SZ, text, 0)) << "text '" << text << "'";
        Stored s = ReadStored(HKEY_LOCAL_MACHINE, kScratch, "Text");
        ASSERT_TRUE(s.exists) << "text '" << text << "'";
        EXPECT_EQ(DWORD(REG_SZ), s.type) << "text '" << text << "'";
        EXPECT_EQ(Bytes(text, strlen(text) + 1), s.bytes)
            << "text '" << text << "' expected size " << strlen(text) + 1 << ", stored " << Hex(s.bytes);
    }
}

TEST_F(RegistryTest, WriteStoresExactlyTheGivenSizeAndType)
{
    struct Case { DWORD type; const char* data; int size; };
    const Case cases[] = {
        {REG_SZ, "hello", 3},          // cut short: no terminating zero
        {REG_SZ, "hello", 6},
        {REG_BINARY, "\x01\x02\x03\x04\x05", 5},
        {REG_DWORD, "\x78\x56\x34\x12", 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", c.type, c.data, c.size))
            << "type " << c.type << " size " << c.size;
        Stored s = ReadStored(HKEY_LOCAL_MACHINE, kScratch, "V");
        EXPECT_EQ(c.type, s.type) << "size " << c.size;
        EXPECT_EQ(Bytes(c.data, c.size), s.bytes) << "type " << c.type << " size " << c.size;
    }
    EXPECT_EQ(0x12345678, ReadStored(HKEY_LOCAL_MACHINE, kScratch, "V").Number());
}

TEST_F(RegistryTest, WriteWithZeroOrNegativeSizeReturnsZeroAndTouchesNothing)
{
    struct Case { DWORD type; int size; };
    const Case cases[] = {{REG_DWORD, 0}, {REG_DWORD, -1}, {REG_DWORD, -4}, {REG_SZ, -1},
                          {REG_BINARY, 0}, {REG_SZ, INT_MIN}};
    const DWORD number = 7;
    for (const Case& c : cases) {
        EXPECT_EQ(0, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", c.type, &number, c.size))
            << "type " << c.type << " size " << c.size << ": expected refusal";
        // Not even the key may appear: the refusal comes before any change.
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kScratch)) << "type " << c.type << " size " << c.size;
    }
}

TEST_F(RegistryTest, WriteCreatesMissingKeysOnTheWay)
{
    const std::string deep = kScratch + "\\A\\B\\C";
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kScratch));
    EXPECT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, deep.c_str(), "V", REG_SZ, "x", 0));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, deep));
    EXPECT_EQ("x", ReadStored(HKEY_LOCAL_MACHINE, deep, "V").Text().substr(0, 1));
}

TEST_F(RegistryTest, WriteReplacesTypeAndSizeOfAnExistingValue)
{
    ASSERT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", REG_SZ, "a long text", 0));
    DWORD number = 5;
    ASSERT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", REG_DWORD, &number, 4));
    Stored s = ReadStored(HKEY_LOCAL_MACHINE, kScratch, "V");
    EXPECT_TRUE(s.IsNumber()) << "type " << s.type << " bytes " << Hex(s.bytes);
    EXPECT_EQ(5, s.Number());
}

// ---- RegistryRead ----

TEST_F(RegistryTest, ReadPreparesTheBufferByItsCapacity)
{
    const std::string missingKey = kScratch + "\\Missing";
    ASSERT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Other", REG_SZ, "x", 0));
    struct Case { int capacity; int clearedBytes; };
    const Case cases[] = {{1, 1}, {4, 4}, {255, 255}, {256, 256}, {257, 1}, {300, 1}};
    for (const std::string& key : {kScratch, missingKey}) {
        for (const Case& c : cases) {
            std::vector<BYTE> buffer(512, kFillByte);
            EXPECT_EQ(0, RegistryRead(HKEY_LOCAL_MACHINE, key.c_str(), "Absent", REG_SZ, buffer.data(), c.capacity))
                << key << " capacity " << c.capacity;
            for (int i = 0; i < 512; ++i) {
                BYTE expected = i < c.clearedBytes ? 0 : kFillByte;
                if (buffer[i] != expected) {
                    ADD_FAILURE() << key << " capacity " << c.capacity << ": byte " << i << " is "
                                  << int(buffer[i]) << ", expected " << int(expected);
                    break;
                }
            }
        }
    }
}

TEST_F(RegistryTest, ReadOfMissingNumberGivesZeroInBuffer)
{
    ASSERT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Other", REG_SZ, "x", 0));
    uint32_t value = kSentinel;
    EXPECT_EQ(0, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Absent", REG_DWORD, &value, 4));
    EXPECT_EQ(0u, value);
}

TEST_F(RegistryTest, ReadResultFollowsTheStoredSize)
{
    struct Case { const char* label; DWORD type; const char* data; DWORD size; int result; const char* text; };
    const Case cases[] = {
        {"empty text, size 1", REG_SZ, "", 1, 1, ""},
        {"text of size 0", REG_SZ, "", 0, 0, ""},
        {"binary of size 0", REG_BINARY, "", 0, 0, ""},
        {"text", REG_SZ, "abc", 4, 1, "abc"},
        {"text without zero", REG_SZ, "abc", 3, 1, "abc"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "V", c.type, c.data, c.size)) << c.label;
        char buffer[16];
        memset(buffer, kFillByte, sizeof buffer);
        EXPECT_EQ(c.result, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", REG_SZ, buffer, sizeof buffer))
            << c.label << ": expected " << c.result;
        EXPECT_STREQ(c.text, buffer) << c.label;
    }
}

TEST_F(RegistryTest, ReadDoesNotCompareTheType)
{
    ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "V", REG_SZ, "abc", 4));
    char buffer[16];
    memset(buffer, kFillByte, sizeof buffer);
    EXPECT_EQ(1, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", REG_DWORD, buffer, sizeof buffer));
    EXPECT_STREQ("abc", buffer);

    uint32_t number = kSentinel;
    ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "N", REG_BINARY, "\x01\x00\x00\x00", 4));
    EXPECT_EQ(1, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "N", REG_SZ, &number, 4));
    EXPECT_EQ(1u, number);
}

TEST_F(RegistryTest, ReadOfValueLargerThanBufferGivesZeroAndClearedBuffer)
{
    struct Case { const char* label; DWORD type; const char* data; DWORD size; int capacity; };
    const Case cases[] = {
        {"8-byte binary into 4", REG_BINARY, "\x11\x22\x33\x44\x55\x66\x77\x88", 8, 4},
        {"8-byte qword into 4", REG_QWORD, "\x11\x22\x33\x44\x55\x66\x77\x88", 8, 4},
        {"text into 5", REG_SZ, "hello world", 12, 5},
        {"dword into 2", REG_DWORD, "\x01\x02\x03\x04", 4, 2},
        {"text one byte too long", REG_SZ, "abcd", 5, 4},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "V", c.type, c.data, c.size)) << c.label;
        std::vector<BYTE> buffer(16, kFillByte);
        EXPECT_EQ(0, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", c.type, buffer.data(), c.capacity)) << c.label;
        std::vector<BYTE> expected(16, kFillByte);
        std::fill(expected.begin(), expected.begin() + c.capacity, 0);
        EXPECT_EQ(expected, buffer) << c.label << ": got " << Hex(buffer);
    }

    // Above 256 bytes only the first byte is promised to be cleared.
    std::string big(399, 'x');
    ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "Big", REG_SZ, big.c_str(), 400));
    std::vector<char> buffer(300, 'y');
    EXPECT_EQ(0, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Big", REG_SZ, buffer.data(), 300));
    EXPECT_EQ(0, buffer[0]);
}

TEST_F(RegistryTest, ReadOfExactlyFittingValueSucceeds)
{
    ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "V", REG_SZ, "abc", 4));
    char buffer[4] = {'q', 'q', 'q', 'q'};
    EXPECT_EQ(1, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", REG_SZ, buffer, 4));
    EXPECT_STREQ("abc", buffer);
}

// Windows hands a REG_SZ stored without its zero back as it is; Wine adds the
// zero itself. Stored as REG_BINARY the same bytes come back unterminated
// under Wine too, as a text read sees them on Windows.
TEST_F(RegistryTest, TextReadIsAlwaysTerminated)
{
    for (DWORD type : {DWORD(REG_SZ), DWORD(REG_BINARY)}) {
        // A text without its zero that fills the buffer is refused whole.
        ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "Full", type, "abcd", 4));
        std::vector<char> small(8, 'q');
        EXPECT_EQ(0, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Full", REG_SZ, small.data(), 4))
            << "stored type " << type;
        EXPECT_EQ(std::string(4, '\0') + "qqqq", std::string(small.begin(), small.end())) << "stored type " << type;

        const std::string path(256, 'p');
        ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "Path256", type, path.c_str(), 256));
        std::vector<char> buffer(256, 'q');
        EXPECT_EQ(0, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Path256", REG_SZ, buffer.data(), 256))
            << "stored type " << type;
        EXPECT_EQ(0, buffer[0]) << "stored type " << type;

        // Above 256 bytes the buffer is not cleared ahead: the zero comes after the text.
        ASSERT_TRUE(PutRaw(HKEY_LOCAL_MACHINE, kScratch, "Short", type, "C:\\Dir", 6));
        std::vector<char> large(300, 'q');
        EXPECT_EQ(1, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Short", REG_SZ, large.data(), 300))
            << "stored type " << type;
        EXPECT_EQ(6u, strnlen(large.data(), large.size()))
            << "stored type " << type << ", read back: " << std::string(large.data(), 12);
    }
}

// ---- Names of 255 and 256 characters ----

TEST_F(RegistryTest, ValueNamesOf255CharactersWorkAndLongerOnesAreRefused)
{
    const std::string name255(255, 'n'), name256(256, 'n');
    DWORD number = 42;
    EXPECT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), name255.c_str(), REG_DWORD, &number, 4));
    EXPECT_EQ(42, ReadStored(HKEY_LOCAL_MACHINE, kScratch, name255.c_str()).Number());
    uint32_t value = kSentinel;
    EXPECT_EQ(1, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), name255.c_str(), REG_DWORD, &value, 4));
    EXPECT_EQ(42u, value);

    EXPECT_EQ(0, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), name256.c_str(), REG_DWORD, &number, 4));
    EXPECT_FALSE(ReadStored(HKEY_LOCAL_MACHINE, kScratch, name256.c_str()).exists);
    value = kSentinel;
    EXPECT_EQ(0, RegistryRead(HKEY_LOCAL_MACHINE, kScratch.c_str(), name256.c_str(), REG_DWORD, &value, 4));
    EXPECT_EQ(0u, value) << "a refused read still leaves the prepared buffer";
    EXPECT_EQ(0, RegistryDeleteValue(HKEY_LOCAL_MACHINE, kScratch.c_str(), name256.c_str()));
}

TEST_F(RegistryTest, KeyTextsOf255CharactersWorkAndLongerOnesAreRefused)
{
    const std::string key255 = kScratch + "\\" + std::string(255 - kScratch.size() - 1, 'k');
    const std::string key256 = kScratch + "\\" + std::string(256 - kScratch.size() - 1, 'k');
    ASSERT_EQ(255u, key255.size());
    DWORD number = 9;
    EXPECT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, key255.c_str(), "V", REG_DWORD, &number, 4));
    EXPECT_EQ(9, ReadStored(HKEY_LOCAL_MACHINE, key255, "V").Number());
    EXPECT_EQ(0, RegistryWrite(HKEY_LOCAL_MACHINE, key256.c_str(), "V", REG_DWORD, &number, 4));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key256));
    EXPECT_EQ(0, RegistryDeleteKey(HKEY_LOCAL_MACHINE, key256.c_str()));
    EXPECT_EQ(1, RegistryDeleteKey(HKEY_LOCAL_MACHINE, key255.c_str()));
}

// ---- RegistryDeleteValue / RegistryDeleteKey ----

TEST_F(RegistryTest, DeleteValueReportsWhetherSomethingWasDeleted)
{
    EXPECT_EQ(0, RegistryDeleteValue(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V")) << "key missing";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kScratch)) << "deleting must not create the key";
    ASSERT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "Other", REG_SZ, "x", 0));
    EXPECT_EQ(0, RegistryDeleteValue(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V")) << "value missing";
    ASSERT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V", REG_SZ, "x", 0));
    EXPECT_EQ(1, RegistryDeleteValue(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V"));
    EXPECT_FALSE(ReadStored(HKEY_LOCAL_MACHINE, kScratch, "V").exists);
    EXPECT_TRUE(ReadStored(HKEY_LOCAL_MACHINE, kScratch, "Other").exists);
    EXPECT_EQ(0, RegistryDeleteValue(HKEY_LOCAL_MACHINE, kScratch.c_str(), "V")) << "second delete";
}

TEST_F(RegistryTest, DeleteKeyReportsWhetherSomethingWasDeleted)
{
    const std::string key = kScratch + "\\Leaf";
    EXPECT_EQ(0, RegistryDeleteKey(HKEY_LOCAL_MACHINE, key.c_str())) << "missing key";
    ASSERT_EQ(1, RegistryWrite(HKEY_LOCAL_MACHINE, key.c_str(), "V", REG_SZ, "x", 0));
    EXPECT_EQ(1, RegistryDeleteKey(HKEY_LOCAL_MACHINE, key.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kScratch)) << "only the named key goes";
    EXPECT_EQ(0, RegistryDeleteKey(HKEY_LOCAL_MACHINE, key.c_str())) << "second delete";
}

// ---- SettingsWrite / SettingsRead ----

TEST_F(SettingsStoreTest, WriteCreatesTheSettingsKey)
{
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
    EXPECT_EQ(1, SettingsWriteNumber("Probe", 3));
    Stored s = ReadSetting("Probe");
    EXPECT_TRUE(s.IsNumber()) << "type " << s.type << " bytes " << Hex(s.bytes);
    EXPECT_EQ(3, s.Number());
}

TEST_F(SettingsStoreTest, BackslashAfterTheFirstCharacterNamesASubKey)
{
    const std::string base = kSettingsKey;
    struct Case { const char* name; std::string key; const char* value; };
    const Case cases[] = {
        {"Sub\\Value", base + "\\Sub", "Value"},
        {"Outer\\Inner\\Value", base + "\\Outer\\Inner", "Value"},
        {"\\Value", base, "\\Value"},
        {"Plain", base, "Plain"},
        {"Trailing\\", base + "\\Trailing", ""},
    };
    int32_t stored = 100;
    for (const Case& c : cases) {
        ++stored;
        EXPECT_EQ(1, SettingsWriteNumber(c.name, static_cast<DWORD>(stored))) << c.name;
        Stored s = ReadStored(HKEY_LOCAL_MACHINE, c.key, c.value);
        EXPECT_TRUE(s.IsNumber()) << c.name << ": expected value '" << c.value << "' under " << c.key;
        EXPECT_EQ(stored, s.Number()) << c.name;
        if (c.key != base) {
            EXPECT_FALSE(ReadSetting(c.name).exists) << c.name << " must not be stored whole";
        }
        uint32_t back = kSentinel;
        EXPECT_EQ(1, SettingsRead(c.name, REG_DWORD, &back, 4)) << c.name;
        EXPECT_EQ(uint32_t(stored), back) << c.name;
    }
}

TEST_F(SettingsStoreTest, ReadOfMissingValueReturnsZeroWithZeroInBuffer)
{
    uint32_t value = kSentinel;
    EXPECT_EQ(0, SettingsRead("OptionAutostart", REG_DWORD, &value, 4)) << "no settings key at all";
    EXPECT_EQ(0u, value);
    ASSERT_EQ(1, SettingsWriteNumber("Release", 102));
    value = kSentinel;
    EXPECT_EQ(0, SettingsRead("OptionAutostart", REG_DWORD, &value, 4)) << "key without the value";
    EXPECT_EQ(0u, value);
    char text[256];
    memset(text, kFillByte, sizeof text);
    EXPECT_EQ(0, SettingsRead("Path", REG_SZ, text, sizeof text));
    EXPECT_EQ(std::string(256, '\0'), std::string(text, sizeof text));
}

TEST_F(SettingsStoreTest, ReadOfEmptyTextAndOfSizeZeroValue)
{
    ASSERT_TRUE(PutSetting("Empty", REG_SZ, "", 1));
    ASSERT_TRUE(PutSetting("Nothing", REG_SZ, "", 0));
    char text[8] = "garbage";
    EXPECT_EQ(1, SettingsRead("Empty", REG_SZ, text, sizeof text));
    EXPECT_STREQ("", text);
    strcpy(text, "garbage");
    EXPECT_EQ(0, SettingsRead("Nothing", REG_SZ, text, sizeof text));
    EXPECT_STREQ("", text);
}

TEST_F(SettingsStoreTest, OverlongNamesAreRefusedNotCut)
{
    // The settings key text is 35 characters; a sub-key part may bring it to 255.
    const std::string fits = std::string(255 - 36, 's') + "\\V";
    const std::string tooLong = std::string(256 - 36, 's') + "\\V";
    EXPECT_EQ(1, SettingsWriteNumber(fits.c_str(), 1));
    EXPECT_TRUE(ReadStored(HKEY_LOCAL_MACHINE, std::string(kSettingsKey) + "\\" + std::string(219, 's'), "V").exists);
    EXPECT_EQ(0, SettingsWriteNumber(tooLong.c_str(), 1));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kSettingsKey) + "\\" + std::string(220, 's')));

    const std::string value256(256, 'v');
    EXPECT_EQ(0, SettingsWriteNumber(value256.c_str(), 1));
    EXPECT_TRUE(ValueNames(HKEY_LOCAL_MACHINE, kSettingsKey).empty()) << "nothing, not even a cut name";
    uint32_t value = kSentinel;
    EXPECT_EQ(0, SettingsRead(value256.c_str(), REG_DWORD, &value, 4));
    EXPECT_EQ(0u, value);
    value = kSentinel;
    EXPECT_EQ(1, SettingsRead(fits.c_str(), REG_DWORD, &value, 4));
    EXPECT_EQ(1u, value);
}
