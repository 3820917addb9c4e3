#include "support/error_handler.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/message_queue.h"
#include "support/program_lifecycle.h"
#include "testing/headless_test_display.h"
#include "testing/scratch_folder.h"

namespace kadro::test {
namespace {

using namespace platform;

RuntimeError Error(int gencode, int oscode, std::string file = "a:\\dati.dbf") {
    RuntimeError error;
    error.GENCODE = gencode;
    error.OSCODE = oscode;
    error.SUBSYSTEM = "BASE";
    error.FILENAME = std::move(file);
    return error;
}

// Drains the queue; true when a quit message was waiting.
bool QuitWasPosted() {
    bool quit = false;
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        quit = quit || msg.message == WM_QUIT;
    }
    return quit;
}

class ErrorHandlerTest : public ScratchFolder {
  protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        redirect_temp();
        ResetProgramLifecycle();
        SetQuitHook([this] {
            ++m_quits;
            RunExitProcedures();
        });
        NETERR(false);
    }
    void TearDown() override {
        SetQuitHook({});
        SetRuntimeErrorHandler({});
        ResetProgramLifecycle();
        QuitWasPosted();
        EXPECT_EQ(m_display.script().unanswered, 0);
        ScratchFolder::TearDown();
    }

    // Runs DEFERROR inside a recovery point: true when it broke out.
    bool BreaksOut(const RuntimeError& error) {
        m_display.script().answers.push_back(BoxAnswer::button(IDOK));
        return !RunGuarded([&] {
            DEFERROR(error);
            ADD_FAILURE() << "DEFERROR returned instead of breaking";
        });
    }

    ScopedTestDisplay m_display;
    int m_quits = 0;
};

TEST_F(ErrorHandlerTest, DiskAndFileFailuresShowTheirMessageAndBreak) {
    struct Row {
        RuntimeError error;
        std::string message;
    };
    auto with_subcode = [](RuntimeError e, int subcode) {
        e.SUBCODE = subcode;
        return e;
    };
    const std::vector<Row> rows = {
        {Error(1001, 21), "Disco A:\\DATI.DBF non pronto."},
        {Error(0, 27), "Disco A:\\DATI.DBF non formattato."},
        {Error(0, 31), "Disco A:\\DATI.DBF non formattato."},
        {Error(0, 19), "Disco A:\\DATI.DBF protetto da scrittura."},
        {Error(0, 82), "Directory A:\\DATI.DBF piena."},
        {with_subcode(Error(21, 5), 2016), "Spazio sul disco A:\\DATI.DBF insufficiente."},
        {Error(21, 5), "Impossibile accedere al file A:\\DATI.DBF."},
        {Error(0, 3), "Percorso A:\\DATI.DBF non trovato."},
        {Error(5, 2), "Impossibile aprire il file A:\\DATI.DBF."},
        {with_subcode(Error(5, 0), 1012), "Il file A:\\DATI.DBF risulta corrotto."},
        {Error(32, 0), "Il file A:\\DATI.DBF risulta corrotto."},
    };
    for (const Row& row : rows) {
        EXPECT_TRUE(BreaksOut(row.error)) << row.message;
        ASSERT_FALSE(m_display.script().shown.empty());
        EXPECT_EQ(m_display.script().shown.back().text, row.message);
        EXPECT_EQ(m_display.script().shown.back().style, 64u);
    }
    EXPECT_EQ(m_display.script().shown.size(), rows.size());
    EXPECT_TRUE(m_display.script().beeps.empty());
    EXPECT_EQ(m_quits, 0);
}

TEST_F(ErrorHandlerTest, AutomationFailureShowsTheFullDescription) {
    RuntimeError error = Error(1001, 0, "");
    error.SUBCODE = 7;
    error.DESCRIPTION = "Server non disponibile";
    EXPECT_TRUE(BreaksOut(error));
    EXPECT_EQ(m_display.script().shown.back().text,
              "Error BASE/7  Server non disponibile\r\nFunction:   Line: 0");
}

TEST_F(ErrorHandlerTest, QuietRowsReturnADefaultWithoutAMessage) {
    EXPECT_EQ(DEFERROR(Error(5, 0, "")), RuntimeErrorResult(0.0));
    EXPECT_FALSE(NETERR());

    RuntimeError shared = Error(21, 32);
    shared.CANDEFAULT = true;
    EXPECT_EQ(DEFERROR(shared), RuntimeErrorResult(false));
    EXPECT_TRUE(NETERR());

    NETERR(false);
    RuntimeError append = Error(40, 0);
    append.CANDEFAULT = true;
    EXPECT_EQ(DEFERROR(append), RuntimeErrorResult(false));
    EXPECT_TRUE(NETERR());
    EXPECT_TRUE(m_display.script().shown.empty());
}

TEST_F(ErrorHandlerTest, ErrorsystemRoutesRaisedErrorsToTheHandler) {
    ERRORSYS();
    EXPECT_EQ(RaiseRuntimeError(Error(5, 0, "")), RuntimeErrorResult(0.0));
}

TEST_F(ErrorHandlerTest, ABreakWithoutARecoveryPointEndsTheProgram) {
    m_display.script().answers.push_back(BoxAnswer::button(IDOK));
    EXPECT_THROW(DEFERROR(Error(0, 21)), Quit);
    EXPECT_EQ(m_quits, 1);
    EXPECT_EQ(m_display.script().shown.size(), 1u);
}

TEST(ErrorMessage, DescribesTheErrorAndTheInnermostApplicationLine) {
    RuntimeError error;
    error.SEVERITY = 1;
    const std::string unknown = "???";  // kept apart from "/": "??/" would be a trigraph
    EXPECT_EQ(ERRORMESSAGE(error), "Warning " + unknown + "/" + unknown + ";Function:   Line: 0");

    error.SEVERITY = 2;
    error.SUBSYSTEM = "BASE";
    error.SUBCODE = 1003;
    error.DESCRIPTION = "Variable does not exist";
    error.OPERATION = "NPORTA";
    EXPECT_EQ(ERRORMESSAGE(error),
              "Error BASE/1003  Variable does not exist: NPORTA;Function:   Line: 0");
    error.FILENAME = "kadro.ini";
    EXPECT_EQ(ERRORMESSAGE(error),
              "Error BASE/1003  Variable does not exist: kadro.ini;Function:   Line: 0");

    ApplicationFrame main("Main");
    main.line(41);
    {
        ApplicationFrame apricom("APRICOM");
        apricom.line(12);
        ApplicationFrame not_started("CONNECT");
        EXPECT_TRUE(ERRORMESSAGE(error).ends_with(";Function: APRICOM  Line: 12"));
    }
    EXPECT_TRUE(ERRORMESSAGE(error).ends_with(";Function: MAIN  Line: 41"));
}

TEST(ErrorMail, AmpersandsAndSemicolonsAreEncodedNothingElse) {
    EXPECT_EQ(EncodeForMailBody("a&b;c %;&"), "a%26b%0d%0ac %%0d%0a%26");
    EXPECT_EQ(ErrorReportMailAddress("x;y", "/opt/kadro/kadro"),
              "mailto:?subject=Rapporto di errore&body=Applicazione: /opt/kadro/kadro"
              "%0d%0a%0d%0ax%0d%0ay");
    std::string address = ErrorReportMailAddress("", std::string(300, 'p'));
    EXPECT_NE(address.find(std::string(248, 'p') + "%0d%0a"), std::string::npos);
    EXPECT_EQ(address.find(std::string(249, 'p')), std::string::npos);
    EXPECT_FALSE(ExecutablePath().empty());
}

// The report path with a stand-in mail opener that writes its one argument to a file.
class ReportPathTest : public ErrorHandlerTest {
  protected:
    void SetUp() override {
        ErrorHandlerTest::SetUp();
        if (const char* path = std::getenv("PATH")) {
            m_saved_path = path;
        }
        m_record = m_dir + "/opened";
        std::string opener = m_dir + "/bin/xdg-open";
        std::filesystem::create_directory(m_dir + "/bin");
        spit(opener, "#!/bin/sh\nprintf '%s' \"$1\" > '" + m_record + "'\n");
        ::chmod(opener.c_str(), 0755);
        ::setenv("PATH", (m_dir + "/bin:" + m_saved_path).c_str(), 1);
        AddExitProcedure([this] { m_exit_saw_quits = m_quits; });
    }
    void TearDown() override {
        ::setenv("PATH", m_saved_path.c_str(), 1);
        ErrorHandlerTest::TearDown();
    }

    RuntimeError Unexpected() {
        RuntimeError error = Error(2, 0, "");
        error.SUBCODE = 1081;
        error.DESCRIPTION = "Argument error; R&D";
        error.OPERATION = "+";
        return error;
    }

    std::string m_saved_path;
    std::string m_record;
    int m_exit_saw_quits = -1;
};

TEST_F(ReportPathTest, OkMailsTheReportAndQuitsWithTheExitProcedures) {
    ApplicationFrame frame("KADRO");
    frame.line(77);
    m_display.script().answers.push_back(BoxAnswer::button(IDOK));
    EXPECT_THROW(DEFERROR(Unexpected()), Quit);

    ASSERT_EQ(m_display.script().shown.size(), 1u);
    EXPECT_EQ(m_display.script().shown[0].text,
              "Error BASE/1081  Argument error\r\n R&D: +\r\nFunction: KADRO  Line: 77\r\n\r\n"
              "Inviare rapporto di errore via email?");
    EXPECT_EQ(m_display.script().shown[0].style, 33u);
    EXPECT_EQ(m_display.script().beeps.size(), 1u);

    int status = 0;
    ASSERT_GT(::waitpid(-1, &status, 0), 0) << "the opener was started";
    std::ifstream in(m_record, std::ios::binary);
    std::string opened{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(opened, "mailto:?subject=Rapporto di errore&body=Applicazione: " + ExecutablePath() +
                          "%0d%0a%0d%0aError BASE/1081  Argument error%0d%0a R%26D: +%0d%0a"
                          "Function: KADRO  Line: 77");

    EXPECT_EQ(m_quits, 1);
    EXPECT_EQ(m_exit_saw_quits, 1) << "the exit procedures ran as part of the quit";
    EXPECT_TRUE(QuitWasPosted());
}

TEST_F(ReportPathTest, CancelStartsNoMailProgramButStillQuits) {
    m_display.script().answers.push_back(BoxAnswer::button(IDCANCEL));
    EXPECT_THROW(DEFERROR(Unexpected()), Quit);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "no process was started";
    EXPECT_EQ(m_quits, 1);
    EXPECT_EQ(m_exit_saw_quits, 1);
}

TEST_F(ReportPathTest, SharingAndAppendLocksThatCannotDefaultAreReported) {
    RuntimeError shared = Error(21, 32);
    RuntimeError append = Error(40, 0);
    for (const RuntimeError& error : {shared, append}) {
        SCOPED_TRACE(error.GENCODE);
        ASSERT_FALSE(error.CANDEFAULT);
        m_display.script().answers.push_back(BoxAnswer::button(IDCANCEL));
        const std::size_t shown_before = m_display.script().shown.size();
        EXPECT_THROW(DEFERROR(error), Quit) << "an error that cannot default was let through";
        ASSERT_EQ(m_display.script().shown.size(), shown_before + 1);
        EXPECT_EQ(m_display.script().shown.back().text,
                  "Error BASE/???: a:\\dati.dbf\r\nFunction:   Line: 0\r\n\r\n"
                  "Inviare rapporto di errore via email?");
        EXPECT_FALSE(NETERR());
    }
    EXPECT_EQ(m_quits, 2);
}

TEST_F(ReportPathTest, OutOfMemoryTakesTheReportPath) {
    m_display.script().answers.push_back(BoxAnswer::button(IDCANCEL));
    EXPECT_THROW(DEFERROR(MakeOutOfMemoryError("PREPARAIMMAGINE")), Quit);
    ASSERT_EQ(m_display.script().shown.size(), 1u);
    EXPECT_TRUE(m_display.script().shown[0].text.starts_with(std::string("Error BASE/") + "???" +
                                                             "  Memory low: PREPARAIMMAGINE\r\n"));
    EXPECT_EQ(m_quits, 1);
}

}  // namespace
}  // namespace kadro::test
