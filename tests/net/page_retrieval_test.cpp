// What fetched pages share: the caption and message texts, the private
// folder of fetched pages, page files created exclusively, and the folder
// going with everything in it when the program ends.

#include "convert/converter.h"
#include "net/PageRetrieval.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_mode & 07777 : mode_t(-1);
}

QString qpath(const std::filesystem::path &path)
{
    return QString::fromStdString(path.string());
}

} // namespace

class TestPageRetrieval : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void captionAndMessageTexts();
    void privateFolderAndFreshNames();
    void pageFilesAreCreatedExclusively();
    void privateTextFilesAreNewEachTime();
    void savedTextNamesAreSafeFileNames();
    void saveStartsInTheDocumentsFolderElseHome();
    void folderGoesWithEverythingInIt();
    void folderGoesWhenTheProgramExits();

private:
    std::unique_ptr<testsupport::TempDir> tmp_;
};

void TestPageRetrieval::initTestCase()
{
    if (qEnvironmentVariableIsSet("QUILLAN_TEST_EXIT_CHILD"))
        return; // the child of folderGoesWhenTheProgramExits keeps its TMPDIR
    testsupport::clearProxyEnvironment();
    tmp_ = std::make_unique<testsupport::TempDir>();
    qputenv("TMPDIR", tmp_->path().string().c_str());
}

void TestPageRetrieval::cleanupTestCase()
{
    QVERIFY(quillan::net::PageRetrieval::RemoveFetchedPagesFolder());
    QVERIFY(testsupport::fileNames(tmp_->path()).empty());
}

void TestPageRetrieval::captionAndMessageTexts()
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QString address = "http://127.0.0.1/x";
    QCOMPARE(quillan::net::PageRetrieval::BytesReceivedCaption(1500, address, english),
             "1,500 bytes received from " + address);
    QCOMPARE(quillan::net::PageRetrieval::BytesReceivedCaption(0, address, english),
             "0 bytes received from " + address);
    QCOMPARE(quillan::net::PageRetrieval::BytesReceivedCaption(999, "", english),
             QStringLiteral("999 bytes received from "));
    QCOMPARE(quillan::net::PageRetrieval::BytesReceivedCaption(3'000'000'000LL, "a", english),
             QStringLiteral("3,000,000,000 bytes received from a"));
    QCOMPARE(
        quillan::net::PageRetrieval::BytesReceivedCaption(1048576, "a", QLocale(QLocale::German, QLocale::Germany)),
        QStringLiteral("1.048.576 bytes received from a"));
    QCOMPARE(quillan::net::PageRetrieval::BytesReceivedCaption(2048, "a", QLocale::c()),
             QStringLiteral("2,048 bytes received from a"));
    QCOMPARE(quillan::net::PageRetrieval::UnableToRetrieveMessage(address, QString()),
             "Quillan was unable to retrieve the web page at " + address);
    QCOMPARE(quillan::net::PageRetrieval::UnableToRetrieveMessage(address, "HTTP 404 Not Found"),
             "Quillan was unable to retrieve the web page at " + address + "\nHTTP 404 Not Found");
}

void TestPageRetrieval::privateFolderAndFreshNames()
{
    const QString folder = quillan::net::PageRetrieval::FetchedPagesFolder();
    QVERIFY(!folder.isEmpty());
    QCOMPARE(qpath(std::filesystem::path(folder.toStdString()).parent_path()), qpath(tmp_->path()));
    QCOMPARE(modeOf(folder), mode_t(0700));
    QCOMPARE(quillan::net::PageRetrieval::FetchedPagesFolder(), folder); // once per run

    QSet<QString> names;
    for (int i = 0; i < 20; ++i) {
        const QString path = quillan::net::PageRetrieval::MakeFetchedPagePath();
        QVERIFY(path.startsWith(folder + "/"));
        QVERIFY(path.endsWith(".html"));
        QCOMPARE(path.mid(folder.size() + 1).count('.'), 1);
        QVERIFY(!QFileInfo::exists(path)); // made up, not created
        names.insert(path);
    }
    QCOMPARE(names.size(), 20);

    // A folder someone opened up is left alone and replaced by a new one.
    QVERIFY(::chmod(folder.toLocal8Bit().constData(), 0755) == 0);
    const QString replacement = quillan::net::PageRetrieval::FetchedPagesFolder();
    QVERIFY(replacement != folder);
    QCOMPARE(modeOf(replacement), mode_t(0700));
    QVERIFY(::rmdir(folder.toLocal8Bit().constData()) == 0);
}

void TestPageRetrieval::privateTextFilesAreNewEachTime()
{
    const QString folder = quillan::net::PageRetrieval::FetchedPagesFolder();
    QSet<QString> made;
    for (int i = 0; i < 20; ++i) {
        QString error;
        const QString path = quillan::net::PageRetrieval::CreatePrivateTextFile(&error);
        QVERIFY2(!path.isEmpty(), qPrintable(error));
        QVERIFY(path.startsWith(folder + "/text-"));
        QVERIFY(path.endsWith(".TXT"));
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(QFileInfo(path).size(), 0);
        made.insert(path);
    }
    QCOMPARE(made.size(), 20);
    for (const QString &path : std::as_const(made))
        QVERIFY(QFile::remove(path));

    // No folder can be made: empty, with the reason.
    QVERIFY(quillan::net::PageRetrieval::RemoveFetchedPagesFolder());
    const QByteArray tmpdir = qgetenv("TMPDIR");
    const auto notAFolder = testsupport::writeFile(tmp_->path() / "not-a-folder", "x");
    qputenv("TMPDIR", notAFolder.string().c_str());
    QString error;
    QVERIFY(quillan::net::PageRetrieval::CreatePrivateTextFile(&error).isEmpty());
    QVERIFY2(error.contains("not-a-folder"), qPrintable(error));
    // Nor where TMPDIR names nothing: never a folder at the root instead.
    const auto missing = tmp_->path() / "missing-folder";
    qputenv("TMPDIR", missing.string().c_str());
    error.clear();
    const QString none = quillan::net::PageRetrieval::CreatePrivateTextFile(&error);
    QVERIFY2(none.isEmpty(), qPrintable(none));
    QVERIFY2(error.contains("missing-folder"), qPrintable(error));
    qputenv("TMPDIR", tmpdir);
    QVERIFY(QFile::remove(qpath(notAFolder)));
}

void TestPageRetrieval::savedTextNamesAreSafeFileNames()
{
    using quillan::net::PageRetrieval::SavedTextName;
    const QString address = "http://example.org/news/today.html?x=1#top";
    QCOMPARE(SavedTextName("Today's news", address), "Today's news.txt");
    // Separators, wildcards, quotes and controls become spaces, folded.
    QCOMPARE(SavedTextName("a/b\\c:d*e?f\"g<h>i|j\tk\nl\x01m\u2028n", address), "a b c d e f g h i j k l m n.txt");
    // Never hidden, never "." or "..", no dot or space at the ends.
    QCOMPARE(SavedTextName(" ..profile. ", address), "profile.txt");
    QCOMPARE(SavedTextName("..", address), "today.txt");
    QCOMPARE(SavedTextName("  ", address), "today.txt");
    QCOMPARE(SavedTextName("\u00c9t\u00e9 \U0001F600", address), "\u00c9t\u00e9 \U0001F600.txt");
    // A long title is cut, never inside a surrogate pair.
    const QString faces = QString("\U0001F600").repeated(quillan::net::PageRetrieval::MaxSavedNameLength);
    const QString cut = SavedTextName(faces, address);
    QVERIFY(cut.size() <= quillan::net::PageRetrieval::MaxSavedNameLength + 4);
    QVERIFY(cut.endsWith(".txt"));
    QVERIFY(!cut.at(cut.size() - 5).isHighSurrogate());
    QVERIFY(QFile::encodeName(cut).size() < 255);

    // No title: the last segment without its extension (decoded), then the
    // host, then "page".
    QCOMPARE(SavedTextName("", "http://example.org/a/report.final.html"), "report.final.txt");
    QCOMPARE(SavedTextName("", "http://example.org/a/my%20page"), "my page.txt");
    QCOMPARE(SavedTextName("", "http://example.org/a/..%2F..%2Fetc"), "etc.txt");
    QCOMPARE(SavedTextName("", "http://example.org/a/"), "example.org.txt");
    QCOMPARE(SavedTextName("", "http://example.org"), "example.org.txt");
    QCOMPARE(SavedTextName("", "not an address"), "not an address.txt");
    QCOMPARE(SavedTextName("", ""), "page.txt");
    QCOMPARE(SavedTextName("", "http://"), "page.txt");

    // Markdown's extension in place of the text file's.
    QCOMPARE(SavedTextName(" ..profile. ", address, "md"), "profile.md");
    QCOMPARE(SavedTextName("", "http://example.org/a/report.final.html", "md"), "report.final.md");
}

void TestPageRetrieval::saveStartsInTheDocumentsFolderElseHome()
{
    testsupport::TempDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().string().c_str());
    qputenv("XDG_CONFIG_HOME", (home.path() / "config").string().c_str());
    const QString address = "http://example.org/page.html";

    // No documents folder: home.
    quillan::net::PageRetrieval::SavePlace place =
        quillan::net::PageRetrieval::SavePlaceFor("Title", address, QString());
    QCOMPARE(place.folder, qpath(home.path()));
    QCOMPARE(place.fileName, "Title.txt");
    // With one: there. One named in the user's folder list counts.
    QVERIFY(QDir().mkpath(qpath(home.path() / "Documents")));
    QCOMPARE(quillan::net::PageRetrieval::SavePlaceFor("Title", address, QString()).folder,
             qpath(home.path() / "Documents"));
    QVERIFY(QDir().mkpath(qpath(home.path() / "config")));
    QVERIFY(QDir().mkpath(qpath(home.path() / "Papers")));
    testsupport::writeFile(home.path() / "config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
    QCOMPARE(quillan::net::PageRetrieval::SavePlaceFor("", address, QString()).folder, qpath(home.path() / "Papers"));
    QCOMPARE(quillan::net::PageRetrieval::SavePlaceFor("", address, QString()).fileName, "page.txt");

    // A file's text: beside the file, named by the title, else the file.
    place = quillan::net::PageRetrieval::SavePlaceFor("", QString(), qpath(home.path() / "site" / "index.htm"));
    QCOMPARE(place.folder, qpath(home.path() / "site"));
    QCOMPARE(place.fileName, "index.txt");
    QCOMPARE(quillan::net::PageRetrieval::SavePlaceFor("Front", QString(), qpath(home.path() / "index.htm")).fileName,
             "Front.txt");
    QCOMPARE(
        quillan::net::PageRetrieval::SavePlaceFor("Front", QString(), qpath(home.path() / "index.htm"), "md").fileName,
        "Front.md");

    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

void TestPageRetrieval::pageFilesAreCreatedExclusively()
{
    const QString folder = quillan::net::PageRetrieval::FetchedPagesFolder();
    const std::filesystem::path dir = folder.toStdString();
    const auto outside = testsupport::writeFile(tmp_->path() / "victim.txt", "precious");
    const auto planted = testsupport::writeFile(dir / "planted.html", "planted");
    std::filesystem::create_symlink(outside, dir / "link.html");
    std::filesystem::create_symlink(tmp_->path() / "nowhere.txt", dir / "dangling.html");

    QString error;
    QCOMPARE(quillan::net::PageRetrieval::CreatePageFile(qpath(planted), &error), -1);
    QVERIFY(!error.isEmpty());
    QCOMPARE(testsupport::readFile(planted), std::string("planted"));
    QCOMPARE(quillan::net::PageRetrieval::CreatePageFile(qpath(dir / "link.html")), -1);
    QCOMPARE(testsupport::readFile(outside), std::string("precious"));
    QCOMPARE(quillan::net::PageRetrieval::CreatePageFile(qpath(dir / "dangling.html")), -1);
    QVERIFY(!std::filesystem::exists(tmp_->path() / "nowhere.txt"));

    const QString path = quillan::net::PageRetrieval::MakeFetchedPagePath();
    const int fd = quillan::net::PageRetrieval::CreatePageFile(path);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "<p>new page</p>", 15), ssize_t(15));
    QCOMPARE(::close(fd), 0);
    QCOMPARE(testsupport::readFile(path.toStdString()), std::string("<p>new page</p>"));
    QCOMPARE(modeOf(path), mode_t(0600));
    QCOMPARE(quillan::net::PageRetrieval::CreatePageFile(path), -1); // once only

    for (const char *name : {"planted.html", "link.html", "dangling.html"})
        std::filesystem::remove(dir / name);
    std::filesystem::remove(outside);
    std::filesystem::remove(path.toStdString());
}

void TestPageRetrieval::folderGoesWithEverythingInIt()
{
    // A text kept with Save was copied where the user chose: the one in the
    // private folder goes with it.
    const QString folder = quillan::net::PageRetrieval::FetchedPagesFolder();
    testsupport::writeFile(std::filesystem::path(folder.toStdString()) / "page-kept.TXT", "text");
    testsupport::writeFile(std::filesystem::path(folder.toStdString()) / ".page-kept.TXT.new-x", "part");
    QVERIFY(quillan::net::PageRetrieval::RemoveFetchedPagesFolder());
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(quillan::net::PageRetrieval::RemoveFetchedPagesFolder()); // nothing left to do

    const QString next = quillan::net::PageRetrieval::FetchedPagesFolder();
    QVERIFY(!next.isEmpty());
    QCOMPARE(modeOf(next), mode_t(0700));
}

void TestPageRetrieval::folderGoesWhenTheProgramExits()
{
    if (qEnvironmentVariableIsSet("QUILLAN_TEST_EXIT_CHILD")) { // the child: make a folder and a text, exit
        const QString folder = quillan::net::PageRetrieval::FetchedPagesFolder();
        testsupport::writeFile(std::filesystem::path(folder.toStdString()) / "page-left.TXT", "text");
        std::printf("%s\n", qPrintable(folder));
        std::fflush(stdout);
        std::exit(0);
    }
    testsupport::TempDir tmp;
    const auto run = testsupport::runProgram({"env", "QUILLAN_TEST_EXIT_CHILD=1", "TMPDIR=" + tmp.path().string(),
                                              QCoreApplication::applicationFilePath().toStdString(),
                                              "folderGoesWhenTheProgramExits"});
    QCOMPARE(run.status, 0);
    const QString made = QString::fromStdString(run.out).trimmed().split('\n').last();
    QVERIFY2(made.startsWith(qpath(tmp.path()) + "/quillan-"), qPrintable(made));
    QVERIFY(!QFileInfo::exists(made));
    QVERIFY(testsupport::fileNames(tmp.path()).empty());
}

QTEST_GUILESS_MAIN(TestPageRetrieval)
#include "page_retrieval_test.moc"
