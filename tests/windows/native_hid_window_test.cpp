// The real program's window on the native Windows platform with the native HID backend. Under Wine the system
// has two HID devices of its own (a virtual mouse and keyboard, vendor 845E) and no TORVEX instrument.

#include "tfmain.h"

#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::IsSupersetOf;

namespace {

bool runningUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(NativeHidWindow, ListsWinesHidDevicesAndStaysDisconnected)
{
    if (!runningUnderWine())
        GTEST_SKIP() << "the devices looked for are Wine's own";
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("windows"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TFMainOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("config.ini"));
    options.hidPlatform = torvex::createNativeHidPlatform();
    TFMain window(options);
    window.show();

    auto *list = window.findChild<QListWidget *>(QStringLiteral("ListBox1"));
    ASSERT_NE(list, nullptr);
    // The first scan runs from the event loop after start-up.
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() >= 2; }, 20000)) << "ListBox1 stayed empty";

    std::vector<std::string> labels;
    for (int row = 0; row < list->count(); ++row)
        labels.push_back(list->item(row)->text().toStdString());
    EXPECT_THAT(labels, IsSupersetOf({"Wine HID keyboard", "Wine HID mouse"}));

    const std::vector<torvex::THidDevice *> devices = window.listedDevices();
    ASSERT_EQ(devices.size(), labels.size());
    for (size_t row = 0; row < devices.size(); ++row) {
        if (labels[row].starts_with("Wine HID")) {
            ASSERT_NE(devices[row], nullptr) << labels[row];
            EXPECT_EQ(devices[row]->VendorId(), 0x845E) << labels[row];
        }
    }

    EXPECT_EQ(window.statusPanelText(1), QStringLiteral("Roz\u0142\u0105czony"));
    EXPECT_FALSE(window.Connected());
    EXPECT_EQ(window.CurrentDevice(), nullptr);

    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(QFile::exists(options.settingsPath));
}

} // namespace
