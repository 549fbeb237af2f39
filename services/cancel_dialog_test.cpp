// End-to-end tests of the dialog program qm_cancel_dialog with the dialog client: what the
// program shows, a cancel reaching the application's flag, ending on delete, a refused
// write reported on standard error, and the program's help and usage errors.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "port/process.h"
#include "services/dialog_test_support.h"

namespace {

using dialog_test::DialogTest;
using dialog_test::Translations;

std::string ReadFile(const std::string& path) {
    std::stringstream all;
    all << std::ifstream(path, std::ios::binary).rdbuf();
    return all.str();
}

// Polls `done` every 10 ms for up to 10 seconds; true once it held.
template <typename Condition>
bool Eventually(Condition done) {
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        usleep(10 * 1000);
    }
    return done();
}

// Sends this process's standard output and error to files and takes its standard input
// from /dev/null while it lives, so that a program started meanwhile writes there and never
// reads keys from the terminal of whoever runs the tests.
class CapturedStreams {
  public:
    explicit CapturedStreams(const std::string& stem) : out_(stem + ".out"), err_(stem + ".err") {
        std::fflush(stdout);
        std::fflush(stderr);
        saved_in_ = dup(STDIN_FILENO);
        saved_out_ = dup(STDOUT_FILENO);
        saved_err_ = dup(STDERR_FILENO);
        int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, STDIN_FILENO);
        close(nothing);
        Redirect(out_, STDOUT_FILENO);
        Redirect(err_, STDERR_FILENO);
    }
    ~CapturedStreams() {
        dup2(saved_in_, STDIN_FILENO);
        dup2(saved_out_, STDOUT_FILENO);
        dup2(saved_err_, STDERR_FILENO);
        close(saved_in_);
        close(saved_out_);
        close(saved_err_);
    }
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

  private:
    static void Redirect(const std::string& path, int fd) {
        int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, fd);
        close(file);
    }
    std::string out_, err_;
    int saved_in_ = -1, saved_out_ = -1, saved_err_ = -1;
};

class CancelDialogProgram : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        stem_ = "/tmp/services_cancel_dialog_test." + std::to_string(getpid());
        Translations() = {{"msg", "Copying the model"},
                          {"title", "Copy files"},
                          {"button", "Stop"},
                          {"albl_Canceling___", "Canceling ..."},
                          {"albl_Please_wait_", "Please wait"},
                          {"albl_running_dots_15", "..............."}};
        ASSERT_EQ(cnclRegisterTranslationCB(dialog_test::Translate), 1);
        ASSERT_EQ(cnclSetProcessCreationData(QM_CANCEL_DIALOG_PATH, "", ""), 1);
        cncl_initialize_cancel_library("Quick Modeller");
    }
    void TearDown() override {
        for (const char* suffix : {".out", ".err"}) unlink((stem_ + suffix).c_str());
        DialogTest::TearDown();
    }
    // Starts the dialog with its streams in files and waits until it shows its caption
    // (by then it catches SIGINT).
    intptr_t StartShown() {
        intptr_t handle = -1;
        {
            CapturedStreams streams(stem_);
            handle = cncl_display_cancel_dialog_n(0, "msg", "title", "button");
        }
        EXPECT_GT(handle, 0);
        EXPECT_TRUE(Eventually([&] {
            return Shown().find("Please") == std::string::npos &&
                   Shown().find("Copy files\n") != std::string::npos;
        })) << Shown();
        return handle;
    }
    std::string Shown() const { return ReadFile(stem_ + ".out"); }
    // Interrupts the dialog and waits for its flag. Only a refusal that the program has
    // reported excuses a missing flag: then the answer is false.
    bool CancelSeen(intptr_t handle) {
        EXPECT_EQ(kill(static_cast<pid_t>(handle), SIGINT), 0);
        if (Eventually([&] { return cncl_cancel_pressed_n(handle) != 0; })) return true;
        EXPECT_TRUE(Eventually([&] {
            return Complaints().find(": Operation not permitted") != std::string::npos;
        })) << "no cancel flag, and no refusal reported: "
            << Complaints();
        return false;
    }
    std::string Complaints() const { return ReadFile(stem_ + ".err"); }
    // Starts the program directly (after the words already in `argv`) with the flag word
    // `address`, interrupts it once it shows its title and returns its exit status (-1 if it
    // did not exit).
    int InterruptedStatus(std::vector<const char*> argv, const char* address) {
        const std::string pid = "PID=" + std::to_string(getpid());
        for (const char* word : {QM_CANCEL_DIALOG_PATH, "", "", address, "SLEEP=0",
                                 "MSG=", "TITLE=t", "", "", "", ""}) {
            argv.push_back(word);
        }
        argv.push_back(pid.c_str());
        argv.push_back(nullptr);
        int64_t child = -1;
        {
            CapturedStreams streams(stem_);
            child = port_process_start(argv.data());
        }
        if (child <= 0) return -1;
        const pid_t program = static_cast<pid_t>(child);
        EXPECT_TRUE(Eventually([&] { return Shown() == "t\n\n"; })) << Shown() << Complaints();
        EXPECT_EQ(kill(program, SIGINT), 0);
        int status = -1;
        EXPECT_EQ(waitpid(program, &status, 0), program);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string stem_;
};

TEST_F(CancelDialogProgram, ShowsTheCaptionMessageAndButtonWithBlanks) {
    const intptr_t handle = StartShown();
    ASSERT_GT(handle, 0);
    EXPECT_EQ(Shown(),
              "Quick Modeller - Copy files\nCopying the model\n[ Stop ] send SIGINT to cancel\n");
    EXPECT_EQ(cncl_cancel_pressed_n(handle), 0u);
    EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 1);
    EXPECT_FALSE(port_process_exists(handle));
    EXPECT_EQ(Complaints(), "");
}

TEST_F(CancelDialogProgram, ACancelReachesTheApplication) {
    const intptr_t handle = StartShown();
    ASSERT_GT(handle, 0);
    if (!CancelSeen(handle)) {
        EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 1);
        GTEST_SKIP() << "the kernel refused the dialog program's write: " << Complaints();
    }
    EXPECT_EQ(cncl_cancel_pressed_n(handle), 1u);
    EXPECT_TRUE(Eventually([&] { return Shown().find("Please wait") != std::string::npos; }));
    EXPECT_NE(Shown().find("\nCanceling ... Please wait\n"), std::string::npos) << Shown();
    EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 1);
    EXPECT_FALSE(port_process_exists(handle));
    EXPECT_EQ(Complaints(), "");
}

TEST_F(CancelDialogProgram, OnlyTheCancelledDialogSeesItsFlag) {
    const intptr_t first = StartShown();
    const intptr_t second = StartShown();
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    if (!CancelSeen(first)) {
        GTEST_SKIP() << "the kernel refused the dialog program's write: " << Complaints();
    }
    EXPECT_EQ(cncl_cancel_pressed_n(second), 0u);
    EXPECT_EQ(cncl_delete_cancel_dialog_n(second), 1);
    EXPECT_EQ(cncl_delete_cancel_dialog_n(first), 1);
}

// Runs qm_cancel_dialog with `arguments` (already quoted for the shell) and returns its
// exit status; its output goes to the stem's files.
int RunProgram(const std::string& arguments, const std::string& stem) {
    const std::string command = std::string("'") + QM_CANCEL_DIALOG_PATH + "' " + arguments +
                                " < /dev/null > " + stem + ".out 2> " + stem + ".err";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CancelDialogProgram, HelpDescribesTheProtocol) {
    EXPECT_EQ(RunProgram("--help", stem_), 0);
    const std::string help = Shown();
    for (const char* part : {"Usage: qm_cancel_dialog", "ADDR=<address>", "process_vm_writev",
                             "PR_SET_PTRACER", "0xAD", "SIGTERM", "Exit status: 0 done"}) {
        EXPECT_NE(help.find(part), std::string::npos) << part;
    }
}

TEST_F(CancelDialogProgram, BadCommandLinesAreUsageErrors) {
    struct Case {
        const char* arguments;
        const char* complaint;
    };
    const Case cases[] = {
        {"", "expected 10 or 11 arguments, got 0"},
        {"a b ADDR=0x0 SLEEP=0 MSG= TITLE= BTNTXT= '' '' ''", "bad flag address in 'ADDR=0x0'"},
        {"a b ADDR=0x1002 SLEEP=0 MSG= TITLE= BTNTXT= '' '' ''",
         "bad flag address in 'ADDR=0x1002'"},
        {"a b ADDR=0x1000 SLEEP=x MSG= TITLE= BTNTXT= '' '' ''",
         "argument 4 must be SLEEP=<milliseconds>"},
        {"a b ADDR=0x1000 SLEEP=0 MSG= TITLE= BTNTXT= '' '' '' PID=0",
         "argument 11 must be PID=<process id>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunProgram(c.arguments, stem_), 2) << c.arguments;
        EXPECT_EQ(Complaints(), std::string("qm_cancel_dialog: ") + c.complaint +
                                    "\nTry 'qm_cancel_dialog --help'.\n");
    }
}

TEST_F(CancelDialogProgram, AWriteThatFailsIsReportedAndEndsWithStatus1) {
    // Address 0x1000 is never mapped in our process: the write fails with EFAULT.
    EXPECT_EQ(InterruptedStatus({}, "ADDR=0x1000"), 1);
    EXPECT_EQ(Complaints(),
              "qm_cancel_dialog: cannot write the cancel flag at 0x1000 into process " +
                  std::to_string(getpid()) + ": Bad address\n");
}

TEST_F(CancelDialogProgram, ARefusedWriteIsReportedClearly) {
    // A dialog program of another user may not write into us, whatever Yama says.
    if (getuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
        GTEST_SKIP() << "needs root and setpriv to run the program as another user";
    }
    std::atomic<uint32_t> flag{0};
    char address[64];
    snprintf(address, sizeof(address), "ADDR=%p", static_cast<void*>(&flag));
    EXPECT_EQ(
        InterruptedStatus({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"},
                          address),
        1);
    EXPECT_EQ(flag.load(), 0u);
    EXPECT_EQ(Complaints(), std::string("qm_cancel_dialog: cannot write the cancel flag at ") +
                                (address + 5) + " into process " + std::to_string(getpid()) +
                                ": Operation not permitted (the application must allow its "
                                "children with prctl(PR_SET_PTRACER))\n");
}

TEST_F(CancelDialogProgram, ADelayedDialogEndedEarlyShowsNothing) {
    intptr_t handle = -1;
    {
        CapturedStreams streams(stem_);
        handle = cncl_display_cancel_dialog_n(60000, "msg", "title", "button");
    }
    ASSERT_GT(handle, 0);
    EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 1);
    EXPECT_EQ(Shown(), "");
}

}  // namespace
