// The image log as the web site uses it: a real MariaDB server, private to this test,
// loads imagelog.sql into the table and with the client command that the README gives,
// and gives back every value byte for byte, also after a job that filled its disk or was
// cancelled; and the log itself when its own writes fail.
#include "gtest_win.h"
#include "fixture.h"
#include "boxwatch.h"
#include "images.h"
#include "jobs.h"
#include "jobprobe.h"
#include "smalldisk.h"
#include "base/state.h"
#include "res/resource.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

static const char serverProgram[] = "/usr/sbin/mariadbd";

// Runs a shell command; its standard output, and its exit status in *status.
static std::string Shell(const std::string &command, int *status = NULL)
{
    std::string output;
    FILE *pipe = popen(command.c_str(), "r");
    char chunk[4096];
    for (size_t got; pipe != NULL && (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, got);
    int result = pipe != NULL ? pclose(pipe) : -1;
    if (status != NULL)
        *status = result != -1 && WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

// A MariaDB server with its own data directory and socket, no network, started and
// stopped by this program.
class Server {
public:
    std::string failure;  // why it is not running, for the test's message

    bool Start(const std::string &base)
    {
        dir = base;
        socketPath = dir + "/mysql.sock";
        if (access(serverProgram, X_OK) != 0) {
            failure = "MariaDB is not installed (apt-get install mariadb-server)";
            return false;
        }
        std::string user = getuid() == 0 ? " --user=root" : "";
        int status = 0;
        Shell("mariadb-install-db --no-defaults --datadir=" + dir + "/data" + user +
              " --skip-test-db >" + dir + "/install.log 2>&1", &status);
        if (status != 0) {
            failure = "mariadb-install-db failed: " + Shell("cat " + dir + "/install.log");
            return false;
        }
        Shell(std::string(serverProgram) + " --no-defaults --datadir=" + dir + "/data --socket=" + socketPath +
              " --skip-networking --skip-grant-tables --pid-file=" + dir + "/server.pid --log-error=" + dir +
              "/server.log" + user + " </dev/null >/dev/null 2>&1 &");
        for (int attempt = 0; attempt < 120; attempt++) {
            Shell("mariadb-admin --no-defaults --socket=" + socketPath + " ping >/dev/null 2>&1", &status);
            if (status == 0)
                return true;
            usleep(250000);
        }
        failure = "the server did not start: " + Shell("cat " + dir + "/server.log");
        return false;
    }

    void Stop()
    {
        Shell("mariadb-admin --no-defaults --socket=" + socketPath + " shutdown >/dev/null 2>&1");
        for (int attempt = 0; attempt < 120 && access((dir + "/server.pid").c_str(), F_OK) == 0; attempt++)
            usleep(250000);
    }

    // Runs SQL through the client as the site would: cp1251, CR LF kept inside literals.
    std::string Client(const std::string &arguments, int *status)
    {
        return Shell("mariadb --no-defaults --socket=" + socketPath +
                     " --binary-mode --default-character-set=cp1251 --batch --skip-column-names " + arguments +
                     " 2>&1", status);
    }

    // Runs the README's client command ("mariadb ...") in a folder, on this server: the
    // connection options go right after the program's name.
    std::string Documented(const std::string &command, const std::string &folder, int *status)
    {
        return Shell("cd '" + folder + "' && mariadb --no-defaults --socket=" + socketPath + command.substr(7) +
                     " 2>&1", status);
    }

private:
    std::string dir;
    std::string socketPath;
};

// The README's section "Loading imagelog.sql": its CREATE TABLE (the indented block that
// begins with it) and its client command (the indented line that begins with mariadb).
struct LoadingDoc {
    std::string createTable;
    std::string command;
};

static LoadingDoc ReadLoadingDoc()
{
    LoadingDoc doc;
    const char *source = getenv("FOTOBATCH_SOURCE_DIR");
    std::string readme = source != NULL ? Shell(std::string("cat '") + source + "/README.md'") : "";
    size_t start = readme.find("\n## Loading imagelog.sql\n");
    std::string section = start == std::string::npos ? "" : readme.substr(start, readme.find("\n## ", start + 1) - start);
    bool inTable = false;
    for (size_t at = 0, next; (next = section.find('\n', at)) != std::string::npos; at = next + 1) {
        std::string line = section.substr(at, next - at);
        bool code = line.compare(0, 4, "    ") == 0;
        std::string text = code ? line.substr(4) : "";
        bool tableStarts = text.compare(0, 22, "CREATE TABLE photo_img") == 0 && doc.createTable.empty();
        inTable = code && (inTable || tableStarts);
        if (inTable)
            doc.createTable += text + "\n";
        else if (code && text.compare(0, 8, "mariadb ") == 0 && doc.command.empty())
            doc.command = text;
    }
    return doc;
}

// A row as Rows() reads it back: each value's bytes in hex, joined by commas.
static std::string HexRow(const std::vector<std::string> &values)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string row;
    for (size_t i = 0; i < values.size(); i++) {
        row += i == 0 ? "" : ",";
        for (unsigned char byte : values[i])
            row += {digits[byte >> 4], digits[byte & 15]};
    }
    return row;
}

class MariaDb : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        serverFolder = new TestFolder;
        running = server.Start(serverFolder->unixPath);
    }
    static void TearDownTestSuite()
    {
        if (running)
            server.Stop();
        delete serverFolder;
    }
    void SetUp() override
    {
        ASSERT_TRUE(running) << server.failure;
        StartProgram();
        doc = ReadLoadingDoc();
        ASSERT_NE("", doc.createTable) << "the README gives no CREATE TABLE photo_img";
        ASSERT_NE("", doc.command) << "the README gives no mariadb command";
        MakeTable();
    }

    // An empty photo_img table, as the README makes it, in a fresh database.
    void MakeTable()
    {
        int status = 0;
        std::string output = server.Client("-e \"DROP DATABASE IF EXISTS site; CREATE DATABASE site\"", &status);
        ASSERT_EQ(0, status) << output;
        TestFolder tableFolder;
        tableFolder.WriteFile("table.sql", doc.createTable);
        output = server.Client("site <'" + tableFolder.Path("table.sql") + "'", &status);
        ASSERT_EQ(0, status) << output << doc.createTable;
    }

    // Loads a folder's imagelog.sql into the table with the README's command; the
    // client's status.
    int Load(const std::string &folder)
    {
        int status = 0;
        std::string output = server.Documented(doc.command, folder, &status);
        EXPECT_EQ(0, status) << output;
        return status;
    }

    // Every row as nine values in hex, ordered by the bytes of the name.
    std::vector<std::string> Rows()
    {
        int status = 0;
        std::string output = server.Client(
            "-e \"SELECT CONCAT_WS(',', HEX(name), HEX(img_name), HEX(commentary), HEX(width), HEX(height), "
            "HEX(size), HEX(date), HEX(sec_id), HEX(dir)) FROM site.photo_img ORDER BY HEX(name)\"", &status);
        EXPECT_EQ(0, status) << output;
        std::vector<std::string> rows;
        size_t start = 0;
        for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
            rows.push_back(output.substr(start, end - start));
        return rows;
    }

    LoadingDoc doc;
    static Server server;
    static bool running;
    static TestFolder *serverFolder;
};

Server MariaDb::server;
bool MariaDb::running = false;
TestFolder *MariaDb::serverFolder = NULL;

// The first description dialog's answer: the three typed values, then Default.
static BoxAnswer TypeAndDefault(const std::string &commentary, const std::string &secId, const std::string &dir)
{
    return [=](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_REC_COMMENTARY, commentary.c_str());
        SetDlgItemTextA(dialog, IDC_REC_SEC_ID, secId.c_str());
        SetDlgItemTextA(dialog, IDC_REC_DIR, dir.c_str());
        PressNow(dialog, IDC_REC_DEFAULT);
    };
}

// A Cyrillic name, a quote, backslashes, a two-line commentary and a field as long as the
// dialog takes come back unchanged.
TEST_F(MariaDb, EveryValueComesBackByteForByte)
{
    TestFolder folder;
    const std::string names[] = {u8"Фото ёжика.jpg", "O'Neil.jpg", "plain.jpg"};
    for (const std::string &name : names)
        ASSERT_TRUE(SaveTestImage(folder.Path(name), FIF_JPEG, 320, 240));
    const std::string commentary = "Красная площадь,\r\nsecond line 'quoted' \\n";
    const std::string secId(999, (char)0xFF);  // the longest a field takes: 999 letters я
    const std::string dir = "C:\\фото\\2026\\";
    BoxWatch watch;
    watch.Then(TypeAndDefault(commentary, secId, dir));
    RunThumbnailJob(folder.winPath);
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    ASSERT_EQ(0, Load(folder.unixPath));

    std::vector<std::string> expected;
    for (const std::string &name : names) {
        std::string ansi = Utf8ToAnsi(name);
        std::string size = std::to_string(folder.ReadFile(name).size());
        expected.push_back(HexRow({ansi, ansi, commentary, "320", "240", size, dateStamp, secId, dir}));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Rows());
}

// The thumbnails fill the disk: each image either has its thumbnail, whole, and its row,
// or the user is told the thumbnail's name and it has no row. A second job on the full
// disk leaves the first job's thumbnails as they were, and nothing outside changes.
TEST_F(MariaDb, ThumbnailsThatFillTheDisk)
{
    TestFolder base;
    base.MakeDir("outside");
    ASSERT_TRUE(SaveTestImage(base.Path("outside/keep.jpg"), FIF_JPEG, 320, 240));
    std::string outside = base.ReadFile("outside/keep.jpg");
    SmallDisk disk(base.Path("disk"), "1m");
    if (!disk.mounted)
        GTEST_SKIP() << disk.failure;
    const unsigned long thumbBytes = 400 * 300 * 3 + 54;  // a 400 x 300 BMP
    std::vector<std::string> names;
    for (int i = 0; i < 6; i++) {
        names.push_back("img" + std::to_string(i) + ".jpg");
        ASSERT_TRUE(SaveTestImage(base.Path("disk/" + names.back()), FIF_JPEG, 800, 600));
    }
    // room for at least one thumbnail, and not for all six
    ASSERT_GT(disk.FreeBytes(), thumbBytes + 8192);
    ASSERT_LT(disk.FreeBytes(), 6 * thumbBytes);

    for (int job = 0; job < 2; job++) {
        SCOPED_TRACE(job == 0 ? "first job" : "second job on the full disk");
        std::map<std::string, std::string> before;
        for (const std::string &name : base.List("disk/thumbnails"))
            before[name] = base.ReadFile("disk/thumbnails/" + name);
        BoxWatch watch;
        watch.Then(Press(IDC_REC_DEFAULT));
        RunThumbnailJob(base.winPath + "\\disk", "*.jpg", "_big.bmp", 400);

        std::vector<std::string> told;
        for (size_t i = 1; i < watch.seen.size(); i++)
            told.push_back(watch.seen[i].text);
        std::vector<std::string> made = base.List("disk/thumbnails");
        std::vector<std::string> expectedRows;
        for (const std::string &name : names) {
            std::string thumb = name.substr(0, name.find('.')) + "_big.bmp";
            bool there = std::find(made.begin(), made.end(), thumb) != made.end();
            bool failed = std::find(told.begin(), told.end(),
                                    "Не удалось сохранить миниатюру:\nthumbnails\\" + thumb) != told.end();
            // a thumbnail whose save failed is missing, or an earlier job's, unchanged below
            EXPECT_TRUE(there || failed) << thumb << ": " << Describe(watch.seen);
            if (before.count(thumb) == 0) {
                EXPECT_NE(there, failed) << thumb << ": " << Describe(watch.seen);
            }
            if (there) {
                EXPECT_EQ((PixelSize{400, 300}), ImageFileSize(base.Path("disk/thumbnails/" + thumb))) << thumb;
            }
            std::string size = std::to_string(base.ReadFile("disk/" + name).size());
            if (!failed)
                expectedRows.push_back(HexRow({name, name, "", "800", "600", size, dateStamp, "", ""}));
        }
        if (job == 0) {
            EXPECT_FALSE(made.empty());
            EXPECT_LT(made.size(), names.size());
        }
        for (const auto &earlier : before)
            EXPECT_EQ(earlier.second, base.ReadFile("disk/thumbnails/" + earlier.first)) << earlier.first;
        for (const std::string &name : made)
            EXPECT_EQ(std::string::npos, name.find(".tmp")) << name;
        EXPECT_EQ(told.size(), names.size() - expectedRows.size()) << Describe(watch.seen);

        MakeTable();
        EXPECT_EQ(0, Load(base.Path("disk")));
        EXPECT_EQ(expectedRows, Rows());
    }
    EXPECT_EQ(outside, base.ReadFile("outside/keep.jpg"));
    EXPECT_EQ(std::vector<std::string>{"keep.jpg"}, base.List("outside"));
}

// One statement of imagelog.sql for a 64 x 48 source, as the log's format gives it.
static std::string Row(const std::string &name, size_t size, const std::string &commentary)
{
    return "INSERT INTO photo_img (`name`, `img_name`, `commentary`, `width`, `height`, `size`, "
           "`date`, `sec_id`, `dir`) VALUES ('" + name + "','" + name + "','" + commentary + "','64','48','" +
           std::to_string(size) + "','" + std::string(dateStamp) + "','','');\n";
}

static const std::string logFailed = "Не удалось записать imagelog.sql (диск полон?), задание остановлено.\n"
                                     "Нет строки для файла:\n";

// The log's disk is full when the first row comes: the user is told which image has no
// row, the job ends there, and the log holds whole statements only (here none).
TEST(ImageLog, OnAFullDiskItEndsTheJob)
{
    StartProgram();
    TestFolder base;
    SmallDisk disk(base.Path("disk"), "256k");
    if (!disk.mounted)
        GTEST_SKIP() << disk.failure;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        ASSERT_TRUE(SaveTestImage(base.Path("disk/") + name, FIF_JPEG, 64, 48));
    disk.FillAllBut(1);  // a page for the first thumbnail, none for the log
    ASSERT_EQ("", disk.failure);
    std::vector<std::string> order = base.SearchOrder("disk\\*.jpg");
    ASSERT_EQ(3u, order.size());
    BoxWatch watch;
    watch.Then(Press(IDC_REC_DEFAULT));
    RunThumbnailJob(base.winPath + "\\disk", "*.jpg", "_s.jpg", 10);
    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ(logFailed + order[0], watch.seen[1].text);
    EXPECT_EQ("", base.ReadFile("disk/imagelog.sql"));
    // the thumbnail was in place before its row was refused; no later image was started
    EXPECT_EQ(std::vector<std::string>{order[0].substr(0, 1) + "_s.jpg"}, base.List("disk/thumbnails"));
}

// A write of the log that falls short (the file size limit of the process stands in for a
// disk that fills in the middle of a row) is cut back to the last whole statement.
TEST(ImageLog, WriteCutShortIsCutBackToItsLastRow)
{
    StartProgram();
    TestFolder folder;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
        ASSERT_TRUE(SaveTestImage(folder.Path(name), FIF_JPEG, 64, 48));
    std::vector<std::string> order = folder.SearchOrder("*.jpg");
    ASSERT_EQ(4u, order.size());
    const std::string commentary(600, 'c');  // rows longer than the tiny thumbnails
    std::string twoRows;
    for (int i = 0; i < 2; i++)
        twoRows += Row(order[i], folder.ReadFile(order[i]).size(), commentary);

    BoxWatch watch;
    watch.Then(TypeAndDefault(commentary, "", ""));
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit limit = old;
    limit.rlim_cur = twoRows.size() + 100;
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    RunThumbnailJob(folder.winPath, "*.jpg", "_s.jpg", 10);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ(logFailed + order[2], watch.seen[1].text);
    EXPECT_EQ(twoRows, folder.ReadFile("imagelog.sql"));
    EXPECT_EQ(3u, folder.List("thumbnails").size());
}

// A job over 600 photos after Default, cancelled through its progress window at about a
// third: the main window answers within 200 ms throughout, the bar grows, the job ends
// within a few seconds; then every thumbnail has its row, with Default's values, and every
// row its thumbnail, the log loads, no temporary file is left, and the summary says how
// many were written.
TEST_F(MariaDb, JobCancelledAtAThird)
{
    TestFolder folder;
    const int count = 600;
    std::string jpeg = TestImageBytes(FIF_JPEG, 640, 480);
    for (int i = 0; i < count; i++)
        folder.WriteFile("img" + std::to_string(1000 + i) + ".jpg", jpeg);
    BoxWatch watch;
    watch.Then(Press(IDC_REC_DEFAULT));
    JobProbe probe(count / 3);
    RunThumbnailJob(folder.winPath, "*.jpg", "_small.jpg", 150);
    DWORD ended = GetTickCount();
    probe.Stop();
    EXPECT_EQ(1u, watch.seen.size()) << "Default holds for the whole job: " << Describe(watch.seen);
    EXPECT_EQ(0, probe.unanswered) << "of " << probe.probes;
    EXPECT_LT(probe.worstWaitMs, 200u);
    ASSERT_NE(0u, probe.cancelTick) << "the job ended before a third; bar seen " << probe.positions.size()
                                     << " times, last at " << (probe.positions.empty() ? -1 : probe.positions.back());
    EXPECT_LT(ended - probe.cancelTick, 3000u);
    EXPECT_EQ(count, probe.barTotal);
    EXPECT_TRUE(std::is_sorted(probe.positions.begin(), probe.positions.end()));
    EXPECT_LT(probe.positions.front(), probe.positions.back());
    std::vector<std::string> thumbs = folder.List("thumbnails");
    std::vector<std::string> expected;  // sorted as the rows are: the names are of one length
    for (const std::string &thumb : thumbs) {
        EXPECT_EQ(std::string::npos, thumb.find(".tmp")) << thumb;
        std::string name = thumb.substr(0, thumb.find("_small.jpg")) + ".jpg";
        expected.push_back(HexRow({name, name, "", "640", "480", std::to_string(jpeg.size()), dateStamp, "", ""}));
    }
    EXPECT_GT(thumbs.size(), 0u);
    EXPECT_LT(thumbs.size(), (size_t)count);
    ASSERT_EQ(0, Load(folder.unixPath));
    EXPECT_EQ(expected, Rows());
    ASSERT_EQ(1u, watch.summaries.size()) << Describe(watch.seen);
    EXPECT_EQ(0u, watch.summaries[0].text.find("Задание остановлено (Отмена).\nМиниатюр записано: " +
                                                std::to_string(thumbs.size()) + "\n"))
        << watch.summaries[0].text;
}
