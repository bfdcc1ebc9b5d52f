// The image log as the web site uses it: a real MariaDB server, private to this test,
// loads imagelog.sql through the client in cp1251 and gives back every value byte for byte.
#include "gtest_win.h"
#include "fixture.h"
#include "boxwatch.h"
#include "images.h"
#include "app/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

static const char serverProgram[] = "/usr/sbin/mariadbd";

// Runs a shell command; its standard output, and its exit status in *status.
static std::string Shell(const std::string &command, int *status = NULL)
{
    std::string output;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == NULL) {
        if (status != NULL)
            *status = -1;
        return output;
    }
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    int result = pclose(pipe);
    if (status != NULL)
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
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

private:
    std::string dir;
    std::string socketPath;
};

static std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
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
        int status = 0;
        std::string output = server.Client(
            "-e \"DROP DATABASE IF EXISTS site; CREATE DATABASE site; CREATE TABLE site.photo_img "
            "(name TEXT, img_name TEXT, commentary TEXT, width TEXT, height TEXT, size TEXT, date TEXT, "
            "sec_id TEXT, dir TEXT) CHARACTER SET cp1251\"", &status);
        ASSERT_EQ(0, status) << output;
    }

    // Loads the folder's imagelog.sql into the table.
    void Load(const TestFolder &where)
    {
        int status = 0;
        std::string output = server.Client("site <" + where.Path("imagelog.sql"), &status);
        ASSERT_EQ(0, status) << output;
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

    void Run(const TestFolder &where, int size)
    {
        TextCopy(workDir, sizeof workDir, where.winPath.c_str());
        TextCopy(findMask, sizeof findMask, "*.jpg");
        TextCopy(thumbSuffix, sizeof thumbSuffix, "_small.jpg");
        thumbSize = size;
        MakeThumbnails();
    }

    static Server server;
    static bool running;
    static TestFolder *serverFolder;
};

Server MariaDb::server;
bool MariaDb::running = false;
TestFolder *MariaDb::serverFolder = NULL;

static std::string HexRow(const std::vector<std::string> &values)
{
    std::string row;
    for (size_t i = 0; i < values.size(); i++)
        row += (i == 0 ? "" : ",") + Hex(values[i]);
    return row;
}

// A Cyrillic name, a quote, backslashes and a two-line commentary come back unchanged.
TEST_F(MariaDb, EveryValueComesBackByteForByte)
{
    TestFolder folder;
    const std::string names[] = {u8"Фото ёжика.jpg", "O'Neil.jpg", "plain.jpg"};
    for (const std::string &name : names)
        ASSERT_TRUE(SaveTestImage(folder.Path(name), FIF_JPEG, 320, 240));
    const std::string commentary = "Красная площадь,\r\nsecond line 'quoted' \\n";
    const std::string secId = "12";
    const std::string dir = "C:\\фото\\2026\\";
    BoxWatch watch;
    watch.Then([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_REC_COMMENTARY, commentary.c_str());
        SetDlgItemTextA(dialog, IDC_REC_SEC_ID, secId.c_str());
        SetDlgItemTextA(dialog, IDC_REC_DIR, dir.c_str());
        PressNow(dialog, IDC_REC_DEFAULT);
    });
    Run(folder, 150);
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    Load(folder);

    std::vector<std::string> expected;
    for (const std::string &name : names) {
        std::string ansi = Utf8ToAnsi(name);
        std::string size = std::to_string(folder.ReadFile(name).size());
        expected.push_back(HexRow({ansi, ansi, commentary, "320", "240", size, dateStamp, secId, dir}));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Rows());
}

// A batch of 200 images with Default at the first: one dialog, 200 thumbnails, 200 rows.
TEST_F(MariaDb, TwoHundredImagesWithDefault)
{
    TestFolder folder;
    std::string jpeg = TestImageBytes(FIF_JPEG, 64, 48);
    std::vector<std::string> expected;
    for (int i = 0; i < 200; i++) {
        std::string name = "img" + std::to_string(1000 + i) + ".jpg";
        folder.WriteFile(name, jpeg);
        expected.push_back(Hex(name));
    }
    BoxWatch watch;
    watch.Then([](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_REC_COMMENTARY, "batch");
        PressNow(dialog, IDC_REC_DEFAULT);
    });
    Run(folder, 32);
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    std::vector<std::string> thumbs = folder.List("thumbnails");
    ASSERT_EQ(200u, thumbs.size());
    EXPECT_EQ((PixelSize{32, 24}), ImageFileSize(folder.Path("thumbnails/" + thumbs[0])));
    Load(folder);
    std::vector<std::string> rows = Rows();
    ASSERT_EQ(200u, rows.size());
    for (size_t i = 0; i < rows.size(); i++) {
        EXPECT_EQ(expected[i] + "," + expected[i] + "," + Hex("batch") + "," + Hex("64") + "," + Hex("48") + "," +
                      Hex(std::to_string(jpeg.size())) + "," + Hex(dateStamp) + ",,",
                  rows[i]);
    }
}
