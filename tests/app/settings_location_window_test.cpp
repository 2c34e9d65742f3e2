// Which config.ini the window uses when the executable's folder can or cannot be written (Linux).
#include "window_fixture.h"

#ifndef _WIN32
#include <QDir>
#include <QLineEdit>
#include <QtGlobal>

#include "../settings/unwritable_folder.h"

namespace {

class SettingsLocationWindowTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(QDir().mkpath(binFolder()));
        m_savedXdg = qgetenv("XDG_CONFIG_HOME");
        m_hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", tempPath(QStringLiteral("cfg")).toLocal8Bit());
        options().settingsPath.clear(); // the window decides
        options().executableFolder = binFolder();
    }
    void TearDown() override
    {
        WindowFixture::TearDown();
        if (m_hadXdg)
            qputenv("XDG_CONFIG_HOME", m_savedXdg);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QString binFolder() const { return tempPath(QStringLiteral("bin")); }
    QString besideFile() const { return binFolder() + QStringLiteral("/config.ini"); }
    QString userFile() const { return tempPath(QStringLiteral("cfg/torvex-pc/config.ini")); }

    static QByteArray contentOf(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void put(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    // Start-up with the executable's folder locked; the lock only has to last for the decision.
    TFMain &windowWithUnwritableFolder()
    {
        const UnwritableFolder locked(binFolder().toStdString());
        return window();
    }

private:
    QByteArray m_savedXdg;
    bool m_hadXdg = false;
};

TEST_F(SettingsLocationWindowTest, WritableFolderKeepsTheFileBesideTheExecutable)
{
    TFMain &w = window();
    EXPECT_EQ(w.settingsPath, besideFile());
    EXPECT_TRUE(contentOf(besideFile()).contains("FileName=pomiary.csv\r\n"));
    EXPECT_FALSE(QFile::exists(userFile()));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(SettingsLocationWindowTest, UnwritableFolderUsesTheUserFileWithoutAnError)
{
    TFMain &w = windowWithUnwritableFolder();
    EXPECT_EQ(w.settingsPath, userFile());
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
    EXPECT_TRUE(contentOf(userFile()).startsWith("[Options]\r\nEncName1=\r\n"));
    EXPECT_FALSE(QFile::exists(besideFile()));

    control<QLineEdit>("enc_name_2")->setText(QStringLiteral("Wał"));
    click("BitBtn2");
    closeWindow();
    EXPECT_TRUE(contentOf(userFile()).contains("EncName2=Wa\xb3\r\n"));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(SettingsLocationWindowTest, SeedBesideTheExecutableStartsTheUserFileOnce)
{
    const QByteArray seed = "[Options]\r\nEncName1=Stół\r\nMod=7\r\nFileName=/var/log/t.csv\r\n";
    put(besideFile(), QByteArray(seed).replace("Stół", "St\xf3\xb3"));
    windowWithUnwritableFolder();
    EXPECT_EQ(text("enc_name_1"), QStringLiteral("Stół"));
    EXPECT_EQ(text("edit_mod"), QStringLiteral("7"));
    EXPECT_EQ(text("file_name_edit"), QStringLiteral("/var/log/t.csv"));
    closeWindow();
    EXPECT_EQ(contentOf(besideFile()), QByteArray(seed).replace("Stół", "St\xf3\xb3")) << "the seed is only read";
    EXPECT_TRUE(contentOf(userFile()).contains("Mod=7\r\n"));

    // Later starts keep the user's own file, whatever the seed says by then.
    put(userFile(), "[Options]\r\nMod=3\r\n");
    windowWithUnwritableFolder();
    EXPECT_EQ(text("edit_mod"), QStringLiteral("3"));
    EXPECT_EQ(text("enc_name_1"), QString());
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

} // namespace
#endif
