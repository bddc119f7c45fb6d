// Kavro.exe's program resources, read back the way Windows reads them: the icon
// group the shell shows and the manifest the loader applies.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The programs are built beside this test, as they are installed side by side.
std::wstring ProgramPath(const wchar_t* name)
{
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

// The program's image, mapped for its resources only: nothing of it runs.
class ResourceImage {
public:
    explicit ResourceImage(const std::wstring& path)
        : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ResourceImage()
    {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    ResourceImage(const ResourceImage&) = delete;
    ResourceImage& operator=(const ResourceImage&) = delete;
    explicit operator bool() const { return module_ != nullptr; }

    // The resource's bytes; empty when there is no such resource.
    std::string_view Bytes(LPCWSTR type, LPCWSTR name) const
    {
        HRSRC found = FindResourceW(module_, name, type);
        if (found == nullptr) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const void* data = loaded == nullptr ? nullptr : LockResource(loaded);
        if (data == nullptr) return {};
        return {static_cast<const char*>(data), SizeofResource(module_, found)};
    }

    std::vector<ULONG_PTR> NumericNames(LPCWSTR type) const
    {
        std::vector<ULONG_PTR> names;
        EnumResourceNamesW(module_, type, &CollectName, reinterpret_cast<LONG_PTR>(&names));
        return names;
    }

private:
    static BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names)
    {
        if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<ULONG_PTR>*>(names)->push_back(ULONG_PTR(name));
        return TRUE;
    }

    HMODULE module_;
};

// The layout of an icon group resource (GRPICONDIR and its entries).
#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

template <class T>
T ReadAt(std::string_view bytes, std::size_t offset)
{
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// The pixel depth an icon image really has: PNG for the large one, a bitmap otherwise.
int ImageBitsPerPixel(std::string_view image)
{
    static constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
    if (image.substr(0, 8) == kPngSignature) {
        // IHDR: bit depth and colour type 6 (RGBA) make 4 samples of 8 bits.
        return image.size() >= 26 && image[25] == 6 ? 4 * image[24] : -1;
    }
    if (image.size() < sizeof(BITMAPINFOHEADER)) return -1;
    return ReadAt<BITMAPINFOHEADER>(image, 0).biBitCount;
}

class KavroResources : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(image) << "cannot map Kavro.exe beside the test"; }
    ResourceImage image{ProgramPath(L"Kavro.exe")};
};

TEST_F(KavroResources, IconGroup103HoldsTheFiveSizesAt32Bits)
{
    EXPECT_EQ(image.NumericNames(RT_GROUP_ICON), std::vector<ULONG_PTR>{103}) << "one icon group, number 103";
    const std::string_view group = image.Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(103));
    ASSERT_GE(group.size(), sizeof(GroupIconHeader));
    const auto header = ReadAt<GroupIconHeader>(group, 0);
    EXPECT_EQ(header.type, 1) << "an icon, not a cursor";
    ASSERT_EQ(group.size(), sizeof header + header.count * sizeof(GroupIconEntry));

    std::vector<int> sizes;
    for (WORD i = 0; i < header.count; ++i) {
        const auto entry = ReadAt<GroupIconEntry>(group, sizeof header + i * sizeof(GroupIconEntry));
        const int size = entry.width == 0 ? 256 : entry.width;
        sizes.push_back(size);
        EXPECT_EQ(entry.height, entry.width) << "square, " << size << " px";
        EXPECT_EQ(entry.bitCount, 32) << size << " px";
        const std::string_view picture = image.Bytes(RT_ICON, MAKEINTRESOURCEW(entry.id));
        ASSERT_EQ(picture.size(), entry.bytesInRes) << "image of " << size << " px is where the group says";
        EXPECT_EQ(ImageBitsPerPixel(picture), 32) << size << " px";
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 256}));
}

TEST_F(KavroResources, ManifestRunsItWithTheInvokersRightsAndNoUiAccess)
{
    const std::string manifest(image.Bytes(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID));
    ASSERT_FALSE(manifest.empty()) << "no process manifest";
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\""), std::string::npos)
        << manifest;
    EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
    EXPECT_EQ(manifest.find("highestAvailable"), std::string::npos);
}

TEST_F(KavroResources, CarriesNoVersionRecord)
{
    EXPECT_TRUE(image.NumericNames(RT_VERSION).empty());
}

// The window's icon is the one its resource script names; its manifest also asks for
// the version 6 common controls.
TEST(VarnethResources, IconAndManifest)
{
    const ResourceImage image(ProgramPath(L"Varneth.exe"));
    if (!image) GTEST_SKIP() << "Varneth.exe is not built (no Qt for mingw-w64)";
    EXPECT_FALSE(image.Bytes(RT_GROUP_ICON, L"IDI_ICON1").empty()) << "no icon group IDI_ICON1";
    const std::string manifest(image.Bytes(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID));
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\""), std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos)
        << manifest;
}

} // namespace
