// "Question" in jobs of the real program: the question window of ovdlg.dll
// answered by hand or by its countdown, the job stopping or going on as
// configured, the plain confirmation of a never-configured step, and a
// clear failure when the library is missing.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

enum { mQuestion = 7, mDelay = 12 };

std::string ItemText(HWND wnd, int id) {
  char text[512] = "";
  GetDlgItemTextA(wnd, id, text, sizeof text);
  return text;
}

// A question followed by a short step that shows whether the job went on.
std::vector<jobbytes::StepSpec> AskThenGoOn(const Bytes& question) {
  return {BasicsStep(mQuestion, "Ask", question), BasicsStep(mDelay, "After", Dw(1))};
}

bool WentOn(const std::vector<std::string>& log) {
  return Has(log, "Executing \"After\"") && Has(log, "Job executed successfully") && !Has(log, "Aborted");
}

bool Stopped(const std::vector<std::string>& log) {
  return Has(log, "Aborted") && !Has(log, "Executing \"After\"");
}

}  // namespace

TEST_F(BasicsProgram, QuestionsStopOrContinueTheJobAsConfigured) {
  struct TCase {
    int32_t id;
    std::string name;
    Bytes block;
    int press;  // 0: nobody answers
    const char* okText;
    const char* cancelText;
    const char* answer;
    bool stops;
  };
  const TCase cases[] = {
      {0x400, "OK goes on", QuestionBlock("Go on?", 0, 0, 0, 60), IDOK, "OK", "Cancel", "Answer: OK", false},
      {0x401, "Cancel stops", QuestionBlock("Go on?", 0, 0, 0, 60), IDCANCEL, "OK", "Cancel", "Answer: Cancel", true},
      {0x402, "Yes stops", QuestionBlock("Stop now?", 1, 1, 0, 60), IDOK, "Yes", "No", "Answer: Yes", true},
      {0x403, "No goes on", QuestionBlock("Stop now?", 1, 1, 0, 60), IDCANCEL, "Yes", "No", "Answer: No", false},
      // Nobody at the computer: the countdown answers.
      {0x404, "Auto OK stops", QuestionBlock("Stop now?", 0, 1, 2, 1), 0, "OK", "Cancel", "Answer: OK", true},
      {0x405, "Auto No goes on", QuestionBlock("Stop now?", 1, 1, 1, 1), 0, "Yes", "No", "Answer: No", false},
  };
  for (const TCase& c : cases) AddJob(c.id, c.name, AskThenGoOn(c.block));
  AddJob(0x406, "Plain", AskThenGoOn({}));
  AddJob(0x407, "Plain goes on", AskThenGoOn({}));
  Bytes cut = QuestionBlock("Go on?", 0, 0, 0, 60);
  cut.resize(9);
  AddJob(0x408, "Damaged", AskThenGoOn(cut));
  AddJob(0x409, "Without the library", AskThenGoOn(QuestionBlock("Go on?", 0, 0, 0, 60)));
  Start();

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE run = Run(c.id, "Test");
    ASSERT_NE(run, nullptr);
    HWND box = WaitForBox("OV: " + c.name);
    ASSERT_NE(box, nullptr);
    testutil::WaitFor([&] { return !ItemText(box, 100).empty(); }, 3000);
    // The block's text, as stored after its length.
    EXPECT_EQ(ItemText(box, 100), std::string(c.block.begin() + 4, c.block.begin() + 4 + c.block[0] - 1));
    std::string okText = ItemText(box, IDOK), cancelText = ItemText(box, IDCANCEL);
    okText.erase(std::remove(okText.begin(), okText.end(), '&'), okText.end());
    cancelText.erase(std::remove(cancelText.begin(), cancelText.end(), '&'), cancelText.end());
    EXPECT_EQ(okText, c.okText);
    EXPECT_EQ(cancelText, c.cancelText);
    if (c.press) PressButton(box, c.press);
    EXPECT_TRUE(Finished(run));
  }

  // A step never configured asks the plain question; "No" stops the job.
  for (auto [id, press] : {std::pair<int32_t, int>{0x406, IDNO}, {0x407, IDYES}}) {
    HANDLE run = Run(id, "Test");
    HWND box = WaitForBox("Confirm");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box), id == 0x406 ? "Continue run job <Plain>?" : "Continue run job <Plain goes on>?");
    PressButton(box, press);
    EXPECT_TRUE(Finished(run));
  }

  HANDLE run = Run(0x408, "Test");
  EXPECT_TRUE(Finished(run));

  // The library is taken for each question only, so it can go meanwhile.
  ASSERT_TRUE(DeleteFileA((program_->Dir() + "ovdlg.dll").c_str()));
  run = Run(0x409, "Test");
  EXPECT_TRUE(Finished(run));

  Close();
  for (const TCase& c : cases) {
    auto log = JobLog(c.id);
    EXPECT_TRUE(Has(log, c.answer)) << c.name << "\n" << Joined(log);
    EXPECT_TRUE(c.stops ? Stopped(log) : WentOn(log)) << c.name << "\n" << Joined(log);
  }
  EXPECT_TRUE(Stopped(JobLog(0x406))) << Joined(JobLog(0x406));
  EXPECT_TRUE(WentOn(JobLog(0x407))) << Joined(JobLog(0x407));
  auto log = JobLog(0x408);
  EXPECT_TRUE(Has(log, "The settings of \"Question\" are incomplete. Reconfigure this step.")) << Joined(log);
  EXPECT_TRUE(Has(log, "Job executed abnormally"));
  log = JobLog(0x409);
  EXPECT_TRUE(HasPrefix(log, "Cannot load ovdlg.dll: ")) << Joined(log);
  EXPECT_TRUE(Has(log, "Job executed abnormally"));
}
