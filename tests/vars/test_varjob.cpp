// Plug-in steps that expand and set variables through the host record, in
// a real job run, and evaluators that live in a plug-in.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVVars.h"
#include "TestUtil.h"
#include "VarsTest.h"

namespace {

constexpr int32_t kVarsPluginID = 1008;
constexpr int32_t kMethodExpand = 10;
constexpr int32_t kMethodSetVar = 11;

class PluginVars : public ::testing::Test {
 protected:
  void SetUp() override {
    // The table exists before the plug-ins load: they register into it.
    ResetVariables(EncodeDateTime(2026, 3, 31, 14, 5, 9));
    dir_ = testutil::MakeTempDir("plugvars");
    CreateDirectoryA((dir_ + "Plugins").c_str(), nullptr);
    testutil::CopyTestPlugin("tp_vars", dir_ + "Plugins\\vars");
    Plugins = new TOVPlugins();
    Plugins->LoadFromDir(dir_ + "Plugins");
    ASSERT_EQ(Plugins->Count(), 1);
    Jobs = new TOVJobs();
  }
  void TearDown() override {
    delete Jobs;
    Jobs = nullptr;
    Plugins->ShutdownAll();
    delete Plugins;
    Plugins = nullptr;
    ResetTestClock();
    testutil::RemoveTree(dir_);
  }
  // A step of the variables plug-in whose block is the text.
  static void AddStep(TOVJob* job, int32_t method, const std::string& text) {
    TOVJobStep* step = job->AddStep();
    step->SetPluginID(kVarsPluginID);
    step->SetMethodIndex(method);
    step->SetEnabled(-1);
    step->SetName("step " + std::to_string(job->StepCount()));
    void* block = nullptr;
    HostRecord.Alloc(&block, static_cast<int32_t>(text.size() + 1));
    std::memcpy(block, text.c_str(), text.size() + 1);
    step->SetParams(static_cast<int32_t>(text.size() + 1), block);
  }
  // Runs the job to its end, pumping messages, and returns its log.
  static std::vector<std::string> RunToEnd(TOVJob* job) {
    job->SetToLog(true);
    EXPECT_TRUE(job->Run());
    EXPECT_TRUE(testutil::WaitFor([&] { return !job->Running(); }, 20000));
    std::vector<std::string> lines;
    for (int i = 0; i < job->Log()->Count(); ++i)
      lines.push_back(testutil::LogText(job->Log()->Strings(i)));
    return lines;
  }
  std::string dir_;
};

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST_F(PluginVars, AStepExpandsItsTextThroughTheHost) {
  VarList()->AddVar("Target", "D:\\Backup\\%Year%", vkUser, UserVarFunc);
  auto* job = new TOVJob(Jobs);
  job->SetName("Expanding");
  Jobs->Add(job);
  AddStep(job, kMethodExpand, "copy to %TARGET%\\%IncDays(-1)% at |Time|, 100% done");
  auto lines = RunToEnd(job);
  EXPECT_TRUE(HasLine(lines, "expanded copy to D:\\Backup\\2026\\30 at 14:05:09, 100% done")) << lines.size();
  EXPECT_TRUE(HasLine(lines, "Job executed successfully"));
}

TEST_F(PluginVars, AStepSetsAVariableThatTheNextStepUses) {
  auto* job = new TOVJob(Jobs);
  job->SetName("Setting");
  Jobs->Add(job);
  AddStep(job, kMethodSetVar, "Greeting=Hello on %Date%");
  AddStep(job, kMethodExpand, "%Greeting%!");
  auto lines = RunToEnd(job);
  EXPECT_TRUE(HasLine(lines, "expanded Hello on 31.03.2026!"));
  // The value is stored as written and expanded when used.
  int i = VarList()->IndexOfVar("Greeting");
  ASSERT_GE(i, 0);
  EXPECT_EQ(VarList()->Descriptions(i), "Hello on %Date%");
  EXPECT_EQ(VarList()->Kinds(i), vkUser);
  // The first SetVariable of a new name warns in the main log.
  EXPECT_TRUE(HasLine(MainLogTexts(), "Variable Greeting not exists"));
}

TEST_F(PluginVars, APluginsEvaluatorGetsKeyAndArgument) {
  int i = VarList()->IndexOfVar("TPEcho");
  ASSERT_GE(i, 0);
  EXPECT_EQ(VarList()->Names(i), "TPECHO(SAMPLE)");
  EXPECT_EQ(VarList()->Kinds(i), vkSystem);
  EXPECT_EQ(HostExpand("%tpecho(Some Arg)%"), "echo TPECHO Some Arg");
  // The plug-in's second "Date" was ignored.
  EXPECT_EQ(HostExpand("%Date%"), "31.03.2026");
}

TEST_F(PluginVars, AFaultingOrRefusingEvaluatorLeavesTheReferenceText) {
  EXPECT_EQ(HostExpand("a %TPFault% b %TPRefuse(1)% c"), "a TPFault b TPRefuse(1) c");
  // The next evaluation on the same thread works.
  EXPECT_EQ(HostExpand("%TPEcho(x)%"), "echo TPECHO x");
}

TEST_F(PluginVars, AnEvaluatorIsGivenTheFullValueBuffer) {
  std::string v = HostExpand("[%TPFill%]");
  EXPECT_EQ(v.size(), 65538u);
  EXPECT_EQ(v.substr(0, 3), "[zz");
  EXPECT_EQ(v.back(), ']');
}
