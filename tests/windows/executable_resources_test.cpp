// Reads the version record, the icon and the manifest back from the built Windows executable through the
// system's own services (version API, icon extraction, activation contexts), so a resource the loader would not
// see fails here too.
// TORVEX_PROGRAM names the executable (a Windows path): the window's or torvex-cli's, whose console program has
// no common controls or DPI settings.

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace {

std::wstring programPath()
{
    const wchar_t *path = _wgetenv(L"TORVEX_PROGRAM");
    return path ? std::wstring(path) : std::wstring();
}

bool consoleProgram()
{
    const std::wstring path = programPath();
    return path.size() >= 14 && _wcsicmp(path.c_str() + path.size() - 14, L"torvex-cli.exe") == 0;
}

std::string narrow(const std::wstring &text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

class VersionRecord : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring path = programPath();
        ASSERT_FALSE(path.empty()) << "TORVEX_PROGRAM is not set";
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version record in " << narrow(path) << " (error " << GetLastError() << ")";
        m_data.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, m_data.data()));
    }

    // The value at a version-record path, or nothing.
    void *query(const std::wstring &subBlock, UINT &length)
    {
        void *value = nullptr;
        length = 0;
        if (!VerQueryValueW(m_data.data(), subBlock.c_str(), &value, &length))
            return nullptr;
        return value;
    }

    std::vector<unsigned char> m_data;
};

TEST_F(VersionRecord, FixedPartCarriesVersion1_0_0_4ForFileAndProduct)
{
    UINT length = 0;
    const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(query(L"\\", length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 0u);
    EXPECT_EQ(fixed->dwFileVersionLS, (0u << 16) | 4u);
    EXPECT_EQ(fixed->dwProductVersionMS, (1u << 16) | 0u);
    EXPECT_EQ(fixed->dwProductVersionLS, (0u << 16) | 4u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug, pre-release or patched flags";
}

TEST_F(VersionRecord, TextsArePolishInTheCentralEuropeanCodePage)
{
    UINT length = 0;
    const auto *translation = static_cast<const WORD *>(query(L"\\VarFileInfo\\Translation", length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 2 * sizeof(WORD)) << "exactly one language";
    EXPECT_EQ(translation[0], 0x0415); // Polish
    EXPECT_EQ(translation[1], 1250);
}

struct StringField {
    const wchar_t *name;
    const wchar_t *window;
    const wchar_t *console; // torvex-cli's
};

void PrintTo(const StringField &field, std::ostream *out) { *out << narrow(field.name); }

class VersionStrings : public VersionRecord, public ::testing::WithParamInterface<StringField> {};

TEST_P(VersionStrings, HoldTheExpectedText)
{
    UINT length = 0;
    const auto *text =
        static_cast<const wchar_t *>(query(std::wstring(L"\\StringFileInfo\\041504E2\\") + GetParam().name, length));
    ASSERT_NE(text, nullptr) << "field missing";
    // The length counts the terminating zero.
    EXPECT_EQ(narrow(std::wstring(text, length ? length - 1 : 0)),
              narrow(consoleProgram() ? GetParam().console : GetParam().window));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, VersionStrings,
    ::testing::Values(
        // Written with escapes, so a wrong source code page in the resource compiler cannot match by accident.
        StringField{L"FileDescription", L"Program do wsp\u00f3\u0142pracy z licznikiem TORVEX",
                    L"Program wiersza polece\u0144 do licznika TORVEX"},
        StringField{L"FileVersion", L"1.0.0.4", L"1.0.0.4"}, StringField{L"ProductVersion", L"1.0.0.4", L"1.0.0.4"},
        StringField{L"ProductName", L"TORVEX PC", L"TORVEX PC"},
        StringField{L"InternalName", L"torvex-pc", L"torvex-cli"},
        StringField{L"OriginalFilename", L"torvex-pc.exe", L"torvex-cli.exe"}),
    [](const ::testing::TestParamInfo<StringField> &field) { return narrow(field.param.name); });

// The manifest as the loader takes it: resource 1 of type RT_MANIFEST, turned into an activation context.
class Manifest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = programPath();
        ASSERT_FALSE(m_path.empty()) << "TORVEX_PROGRAM is not set";
        ACTCTXW request{};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = m_path.c_str();
        request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
        m_context = CreateActCtxW(&request);
        ASSERT_NE(m_context, INVALID_HANDLE_VALUE) << "no usable manifest (error " << GetLastError() << ")";
    }

    void TearDown() override
    {
        if (m_context != INVALID_HANDLE_VALUE)
            ReleaseActCtx(m_context);
    }

    std::wstring setting(const wchar_t *ns, const wchar_t *name)
    {
        wchar_t buffer[128] = {};
        SIZE_T written = 0;
        if (!QueryActCtxSettingsW(0, m_context, ns, name, buffer, std::size(buffer), &written))
            return L"<missing>";
        return buffer;
    }

    std::wstring m_path;
    HANDLE m_context = INVALID_HANDLE_VALUE;
};

TEST_F(Manifest, IsTheProgramsOwnResourceOne)
{
    HMODULE module = LoadLibraryExW(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    HRSRC resource = FindResourceW(module, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    EXPECT_NE(resource, nullptr);
    if (resource) {
        const auto *bytes = static_cast<const char *>(LockResource(LoadResource(module, resource)));
        const std::string xml(bytes, SizeofResource(module, resource));
        EXPECT_THAT(xml, ::testing::StartsWith("<?xml"));
    }
    FreeLibrary(module);
}

TEST_F(Manifest, RunsWithTheRightsOfTheInvokingUser)
{
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    SIZE_T written = 0;
    ASSERT_TRUE(
        QueryActCtxW(0, m_context, nullptr, RunlevelInformationInActivationContext, &level, sizeof(level), &written))
        << "error " << GetLastError();
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(level.UiAccess, 0u);
}

// Paths beyond 260 characters, where the system allows them (a setting of the machine).
TEST_F(Manifest, AllowsLongPaths)
{
    EXPECT_EQ(narrow(setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"longPathAware")), "true");
}

TEST_F(Manifest, UsesCommonControlsVersion6)
{
    if (consoleProgram())
        GTEST_SKIP() << "a console program draws no controls";
    // Assembly 1 is the program itself; its dependencies follow.
    std::vector<std::string> identities;
    for (DWORD index = 2;; ++index) {
        SIZE_T needed = 0;
        QueryActCtxW(0, m_context, &index, AssemblyDetailedInformationInActivationContext, nullptr, 0, &needed);
        if (needed == 0)
            break;
        std::vector<unsigned char> buffer(needed);
        if (!QueryActCtxW(0, m_context, &index, AssemblyDetailedInformationInActivationContext, buffer.data(), needed,
                          &needed))
            break;
        const auto *info = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION *>(buffer.data());
        if (info->lpAssemblyEncodedAssemblyIdentity)
            identities.push_back(narrow(info->lpAssemblyEncodedAssemblyIdentity));
    }
    // The system binds the request for 6.0.0.0 to the newest installed 6.x.
    EXPECT_THAT(identities,
                ::testing::Contains(::testing::AllOf(::testing::HasSubstr("Microsoft.Windows.Common-Controls,"),
                                                     ::testing::HasSubstr("version=\"6."),
                                                     ::testing::HasSubstr("6595b64144ccf1df"))));
}

TEST_F(Manifest, IsPerMonitorDpiAware)
{
    if (consoleProgram())
        GTEST_SKIP() << "a console program draws nothing itself";
    EXPECT_EQ(narrow(setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness")),
              "PerMonitorV2, PerMonitor");
    // Systems older than Windows 10 1607 read only this one.
    EXPECT_EQ(narrow(setting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware")), "true/pm");
}

// Explorer, the Start menu and the list of installed programs show the executable's first icon.
TEST(ProgramIcon, IsTheExecutablesOnlyIcon)
{
    const std::wstring path = programPath();
    ASSERT_FALSE(path.empty()) << "TORVEX_PROGRAM is not set";
    EXPECT_EQ(ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0), 1u);
    HICON large = nullptr;
    ASSERT_EQ(ExtractIconExW(path.c_str(), 0, &large, nullptr, 1), 1u);
    ASSERT_NE(large, nullptr);
    DestroyIcon(large);
}

} // namespace
