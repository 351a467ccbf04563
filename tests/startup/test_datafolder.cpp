#include "commandline.h"
#include "datafolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace Qt::StringLiterals;

namespace {

void WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool OwnerWritable(const QString& path)
{
    return QFile::permissions(path).testFlag(QFileDevice::WriteOwner);
}

constexpr QFileDevice::Permissions ReadOnly = QFileDevice::ReadOwner | QFileDevice::ReadUser |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther;

class DataFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        WriteFile(DatabasePath(m_templates), "template database");
        WriteFile(SettingsPath(m_templates), "[Language]\nLanguage=Deutsch\n");
    }

    QTemporaryDir m_root;
    QString m_templates = m_root.filePath(u"prefix/share/nimbra"_s);
    QString m_data = m_root.filePath(u"home/.local/share/KV7100"_s);
};

} // namespace

TEST_F(DataFolderTest, FirstStartCreatesTheFolderAndCopiesBothTemplates)
{
    SetUpDataFolder(m_data, m_templates);
    EXPECT_EQ(ReadFile(DatabasePath(m_data)), "template database");
    EXPECT_EQ(ReadFile(SettingsPath(m_data)), "[Language]\nLanguage=Deutsch\n");
}

TEST_F(DataFolderTest, LaterStartsKeepTheWorkingFiles)
{
    SetUpDataFolder(m_data, m_templates);
    WriteFile(DatabasePath(m_data), "imported readings");
    WriteFile(SettingsPath(m_data), "[Language]\nLanguage=English\n");
    WriteFile(DatabasePath(m_templates), "newer template");

    SetUpDataFolder(m_data, m_templates);
    EXPECT_EQ(ReadFile(DatabasePath(m_data)), "imported readings");
    EXPECT_EQ(ReadFile(SettingsPath(m_data)), "[Language]\nLanguage=English\n");
}

TEST_F(DataFolderTest, ReadOnlyMainIniBecomesWritableAtEveryStart)
{
    SetUpDataFolder(m_data, m_templates);
    ASSERT_TRUE(QFile::setPermissions(SettingsPath(m_data), ReadOnly));
    ASSERT_FALSE(OwnerWritable(SettingsPath(m_data)));

    SetUpDataFolder(m_data, m_templates);
    EXPECT_TRUE(OwnerWritable(SettingsPath(m_data)));
    EXPECT_EQ(ReadFile(SettingsPath(m_data)), "[Language]\nLanguage=Deutsch\n");
}

TEST_F(DataFolderTest, CopiesOfReadOnlyTemplatesAreWritable)
{
    ASSERT_TRUE(QFile::setPermissions(DatabasePath(m_templates), ReadOnly));
    ASSERT_TRUE(QFile::setPermissions(SettingsPath(m_templates), ReadOnly));
    SetUpDataFolder(m_data, m_templates);
    EXPECT_TRUE(OwnerWritable(DatabasePath(m_data)));
    EXPECT_TRUE(OwnerWritable(SettingsPath(m_data)));
}

TEST_F(DataFolderTest, MissingTemplatesLeaveAnEmptyFolder)
{
    SetUpDataFolder(m_data, m_root.filePath(u"nowhere"_s));
    EXPECT_TRUE(QFileInfo(m_data).isDir());
    EXPECT_TRUE(QDir(m_data).isEmpty());
}

TEST_F(DataFolderTest, TemplatesAreFoundInSharedDataOrBesideTheProgram)
{
    const QString bin = m_root.filePath(u"prefix/bin"_s);
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(TemplateFolder(bin), QDir::cleanPath(m_templates));

    const QString flat = m_root.filePath(u"portable"_s);
    ASSERT_TRUE(QDir().mkpath(flat));
    EXPECT_EQ(TemplateFolder(flat), flat);
}

TEST(CommandLine, DataFolderSimulateAndTrace)
{
    const QString cwd = QDir::currentPath();
    struct Case
    {
        QStringList arguments;
        QString dataFolder;
        bool simulate;
        QString traceFile;
    };
    const Case cases[] = {
        {{u"nimbra"_s}, DefaultDataFolder(), false, {}},
        {{u"nimbra"_s, u"--simulate"_s}, DefaultDataFolder(), true, {}},
        {{u"nimbra"_s, u"--data-folder"_s, u"/srv/kv"_s}, u"/srv/kv"_s, false, {}},
        {{u"nimbra"_s, u"--data-folder=/srv/kv"_s, u"--simulate"_s}, u"/srv/kv"_s, true, {}},
        {{u"nimbra"_s, u"--data-folder"_s, u"rel"_s}, cwd + u"/rel"_s, false, {}},
        {{u"nimbra"_s, u"--trace"_s, u"t.txt"_s}, DefaultDataFolder(), false, cwd + u"/t.txt"_s},
        {{u"nimbra"_s, u"--trace=/tmp/t"_s, u"--simulate"_s},
         DefaultDataFolder(),
         true,
         u"/tmp/t"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CommandLine command = ParseCommandLine(c.arguments, u"1.3"_s);
        EXPECT_TRUE(command.start);
        EXPECT_EQ(command.options.dataFolder, c.dataFolder);
        EXPECT_EQ(command.options.simulate, c.simulate);
        EXPECT_EQ(command.options.traceFile, c.traceFile);
        EXPECT_TRUE(command.options.station.isEmpty());
    }
    EXPECT_EQ(ParseCommandLine({u"nimbra"_s, u"--station"_s, u"SN-7"_s}, u"1.3"_s).options.station,
              u"SN-7"_s);
    EXPECT_TRUE(DefaultDataFolder().endsWith(u"KV7100"_s));
}

TEST(CommandLine, HelpVersionAndBadUsageEndWithoutAStart)
{
    struct Case
    {
        QStringList arguments;
        int exitStatus;
        bool toStandardError;
        QString firstLine;
    };
    const QString usage =
        u"Usage: nimbra [--data-folder DIR] [--simulate] [--station ID] [--trace FILE] [--help] "
        u"[--version]"_s;
    const Case cases[] = {
        {{u"nimbra"_s, u"--help"_s}, 0, false, usage},
        {{u"nimbra"_s, u"--bogus"_s, u"-h"_s}, 0, false, usage},
        {{u"nimbra"_s, u"--version"_s}, 0, false, u"nimbra 1.3"_s},
        {{u"nimbra"_s, u"--bogus"_s}, 2, true, u"nimbra: Unknown option 'bogus'."_s},
        {{u"nimbra"_s, u"--data-folder"_s},
         2,
         true,
         u"nimbra: Missing value after '--data-folder'."_s},
        {{u"nimbra"_s, u"stray"_s}, 2, true, u"nimbra: Unexpected argument 'stray'."_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CommandLine command = ParseCommandLine(c.arguments, u"1.3"_s);
        EXPECT_FALSE(command.start);
        EXPECT_EQ(command.exitStatus, c.exitStatus);
        EXPECT_EQ(command.toStandardError, c.toStandardError);
        EXPECT_EQ(command.output.section(u'\n', 0, 0), c.firstLine);
        if (c.exitStatus == 2) {
            EXPECT_TRUE(command.output.contains(usage));
        }
    }
}

TEST_F(DataFolderTest, AFolderThatCannotBeCreatedOrWrittenIsNamed)
{
    EXPECT_EQ(DataFolderProblem(m_templates), QString());
    const QString file = m_root.filePath(u"file"_s);
    WriteFile(file, "x");
    EXPECT_TRUE(DataFolderProblem(file + u"/sub"_s).startsWith(u"cannot create"_s));
    EXPECT_TRUE(DataFolderProblem(file).startsWith(u"cannot create"_s));
}
