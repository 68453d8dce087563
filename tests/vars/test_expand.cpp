// Names, keys, the table and the expansion scan.
#include <gtest/gtest.h>

#include <random>

#include "Host.h"
#include "OVTypes.h"
#include "OVVars.h"
#include "VarsTest.h"

namespace {

// An evaluator that shows exactly what it was called with.
Bool32 OVAPI Probe(const char* key, const char* arg, char* buffer, int32_t capacity) {
  std::string v = std::string("[") + key + ":" + arg + "]";
  v = v.substr(0, static_cast<size_t>(capacity));
  memcpy(buffer, v.c_str(), v.size() + 1);
  return OV_TRUE;
}

Bool32 OVAPI Refuse(const char*, const char*, char* buffer, int32_t) {
  strcpy(buffer, "never seen");
  return OV_FALSE;
}

class Expand : public ::testing::Test {
 protected:
  void SetUp() override { ResetVariables(EncodeDateTime(2026, 3, 31, 14, 5, 9)); }
  void TearDown() override { ResetTestClock(); }
  static TVarList& List() { return *VarList(); }
  static std::string X(const std::string& text) { return List().ExpandVars(text); }
  static std::string Date() { return "31.03.2026"; }
};

}  // namespace

// ------------------------------------------------------------ names

TEST(VarNames, KeysLoseDelimitersArgumentAndCase) {
  EXPECT_EQ(NormalizeVarName("IncDays(-1)"), "INCDAYS");
  EXPECT_EQ(NormalizeVarName("incdays(5)"), "INCDAYS");
  EXPECT_EQ(NormalizeVarName("%IncDays(%X%)%"), "INCDAYS");
  EXPECT_EQ(NormalizeVarName("%Offset%"), "OFFSET");
  EXPECT_EQ(NormalizeVarName("|Offset|"), "OFFSET");
  // With both delimiters only the "%" signs go.
  EXPECT_EQ(NormalizeVarName("%A|B%"), "A|B");
  // ")" before "(": nothing is cut.
  EXPECT_EQ(NormalizeVarName("a)b(c"), "A)B(C");
  EXPECT_EQ(NormalizeVarName("a(b"), "A(B");
  // Only the first pair counts; blanks stay.
  EXPECT_EQ(NormalizeVarName("x (1) (2)"), "X  (2)");
}

TEST(VarNames, ArgumentKeepsCaseAndBlanks) {
  EXPECT_EQ(VarArgument("IncDays(-1)"), "-1");
  EXPECT_EQ(VarArgument("%TextFile( C:\\My File.txt )%"), " C:\\My File.txt ");
  EXPECT_EQ(VarArgument("%IncDays(%X%)%"), "%X%");
  EXPECT_EQ(VarArgument("a)b(c"), "");
  EXPECT_EQ(VarArgument("a(b"), "");
  EXPECT_EQ(VarArgument("Date"), "");
  EXPECT_EQ(VarArgument("f(a(b)c)"), "a(b");
}

// ------------------------------------------------------------ the table

TEST_F(Expand, BuiltInsAreStoredUpperCaseInNameOrder) {
  std::vector<TVarEntry> all = List().Entries();
  ASSERT_EQ(all.size(), 28u);
  for (size_t i = 1; i < all.size(); ++i) EXPECT_LT(all[i - 1].Name, all[i].Name);
  EXPECT_EQ(List().Names(List().IndexOfVar("IncDays(7)")), "INCDAYS(-1)");
  EXPECT_EQ(List().Names(List().IndexOfVar("textfile")), "TEXTFILE(FILE_NAME)");
  EXPECT_EQ(List().Descriptions(List().IndexOfVar("Date")), "Current date");
}

TEST_F(Expand, AddVarRefusesOnlyTheExactUpperCaseName) {
  EXPECT_EQ(List().AddVar("date", "x", vkUser, UserVarFunc), -1);
  // Same key as the built-in "IncDays(-1)", another name: accepted, and it
  // sorts before the built-in, so the key now finds it.
  int i = List().AddVar("IncDays", "mine", vkUser, UserVarFunc);
  ASSERT_GE(i, 0);
  EXPECT_EQ(List().Names(i), "INCDAYS");
  EXPECT_EQ(List().IndexOfVar("%IncDays(3)%"), i);
  EXPECT_EQ(X("%IncDays(3)%"), "mine");
  EXPECT_EQ(List().Count(), 29);
}

TEST_F(Expand, DescriptionsAreCutTo255Characters) {
  int i = List().AddVar("Long", std::string(300, 'v'), vkUser, UserVarFunc);
  EXPECT_EQ(List().Descriptions(i), std::string(255, 'v'));
  EXPECT_EQ(X("%LONG%"), std::string(255, 'v'));
}

// ------------------------------------------------------------ the scan

TEST_F(Expand, ShortTextsAreReturnedUnchanged) {
  EXPECT_EQ(X(""), "");
  EXPECT_EQ(X("%"), "%");
  EXPECT_EQ(X("|"), "|");
  EXPECT_EQ(X("x"), "x");
}

TEST_F(Expand, APercentThatOpensNothingStays) {
  EXPECT_EQ(X("Done 100% %Date%"), "Done 100% " + Date());
  EXPECT_EQ(X("%%"), "%%");
  EXPECT_EQ(X("%NOSUCHVAR%"), "%NOSUCHVAR%");
  EXPECT_EQ(X("50% of %Date"), "50% of %Date");
  EXPECT_EQ(X("a%b%c%Date%"), "a%b%c" + Date());
}

TEST_F(Expand, AdjacentReferencesAllExpand) {
  EXPECT_EQ(X("%Date%%Time%"), Date() + "14:05:09");
  EXPECT_EQ(X("%DateTime% %DateTime%"), Date() + " 14:05:09 " + Date() + " 14:05:09");
  EXPECT_EQ(X("%Year%%Year%%Year%"), "202620262026");
}

TEST_F(Expand, BarsDelimitLikePercentsButNeverCloseThem) {
  EXPECT_EQ(X("|Year|"), "2026");
  EXPECT_EQ(X("%Year|"), "%Year|");
  EXPECT_EQ(X("|Year%"), "|Year%");
  EXPECT_EQ(X("a|b|Year|"), "a|b2026");
}

TEST_F(Expand, AnInsertedValueIsNotScannedAgain) {
  List().AddVar("Pct", "%", vkUser, UserVarFunc);
  // "%" + "Year%" would be a reference if the value were scanned again.
  EXPECT_EQ(X("%Pct%Year%"), "%Year%");
}

TEST_F(Expand, TheNearestClosingThatNamesAVariableWins) {
  // Between the first pair stands "IncDays(" (no variable); the reference
  // runs to the last "%" and its argument %X% is resolved by the evaluator.
  List().AddVar("X", "-1", vkUser, UserVarFunc);
  EXPECT_EQ(X("%IncDays(%X%)%"), "30");
  EXPECT_EQ(X("%IncDays(X)%"), "30");
  EXPECT_EQ(X("%Year%Date%"), "2026Date%");
}

TEST_F(Expand, ABlankInsideTheDelimitersIsPartOfTheName) {
  EXPECT_EQ(X("% Date%"), "% Date%");
  EXPECT_EQ(X("%Date %"), "%Date %");
}

TEST_F(Expand, AFailingEvaluationLeavesTheReferenceWithoutDelimiters) {
  EXPECT_EQ(X("%IncDays%"), "IncDays");
  EXPECT_EQ(X("x%IncDays(abc)%y"), "xIncDays(abc)y");
  EXPECT_EQ(X("|IncMonths(1.5)|"), "IncMonths(1.5)");
  List().AddVar("Refused", "", vkSystem, Refuse);
  EXPECT_EQ(X("%Refused(1)%"), "Refused(1)");
  EXPECT_EQ(List().GetVarValue("Refused"), "Refused");
}

TEST_F(Expand, GetVarValueOfAnUnknownNameIsEmpty) {
  EXPECT_EQ(List().GetVarValue("NoSuch"), "");
  EXPECT_EQ(List().GetVarValue("%Year%"), "2026");
  EXPECT_EQ(List().GetVarValue("year"), "2026");
}

TEST_F(Expand, EvaluatorsGetTheKeyAndTheArgumentAsWritten) {
  List().AddVar("Probe(sample)", "", vkSystem, Probe);
  EXPECT_EQ(X("%probe%"), "[PROBE:]");
  EXPECT_EQ(X("%Probe( Mixed Case )%"), "[PROBE: Mixed Case ]");
  // Text after the argument belongs to the key.
  EXPECT_EQ(X("|probe(a)tail|"), "|probe(a)tail|");
  EXPECT_EQ(X("%Probe(|x|)%"), "[PROBE:|x|]");
}

TEST_F(Expand, KeysAndArgumentsLongerThanTheEvaluatorBuffersFailTheEvaluation) {
  List().AddVar("Probe", "", vkSystem, Probe);
  std::string arg1024(1024, 'a'), arg1025(1025, 'a');
  EXPECT_EQ(X("%Probe(" + arg1024 + ")%"), "[PROBE:" + arg1024 + "]");
  EXPECT_EQ(X("%Probe(" + arg1025 + ")%"), "Probe(" + arg1025 + ")");
  std::string name1024(1024, 'K'), name1025(1025, 'K');
  List().AddVar(name1024, "short", vkUser, UserVarFunc);
  List().AddVar(name1025, "long", vkUser, UserVarFunc);
  EXPECT_EQ(X("%" + name1024 + "%"), "short");
  EXPECT_EQ(X("%" + name1025 + "%"), name1025);
}

// The scanner skips candidates it can prove useless; this compares it with
// the scan done literally (every later delimiter, nearest first, on the
// text as it changes) over random texts rich in delimiters and brackets.
TEST_F(Expand, TheScanEqualsTheLiteralAlgorithmOnRandomTexts) {
  TVarList& list = List();
  list.Clear();
  for (const char* name : {"A", "AB", "B(x)", "A|B", "ABC(1)", "X%Y", "Y|", "BA"})
    list.AddVar(name, "", vkSystem, Probe);
  auto literal = [&](std::string s) {
    size_t i = 0;
    while (i + 1 < s.size()) {
      char c = s[i];
      bool replaced = false;
      if (c == '%' || c == '|') {
        for (size_t j = i + 1; j < s.size() && !replaced; ++j) {
          if (s[j] != c) continue;
          std::string r = s.substr(i + 1, j - i - 1);
          if (list.IndexOfVar(r) >= 0) {
            std::string v = list.GetVarValue(r);
            s.replace(i, j - i + 1, v);
            i += v.size();
            replaced = true;
          }
        }
      }
      if (!replaced) ++i;
    }
    return s;
  };
  std::mt19937 rng(20260331);
  const std::string alphabet = "%%%||()aAbBxy1 ";
  for (int round = 0; round < 20000; ++round) {
    if (round == 10000) list.AddVar("", "", vkSystem, Probe);  // %% and || now name it
    std::string text;
    int len = static_cast<int>(rng() % 24);
    for (int i = 0; i < len; ++i) text += alphabet[rng() % alphabet.size()];
    ASSERT_EQ(list.ExpandVars(text), literal(text)) << "text: " << text;
  }
}

TEST_F(Expand, TextsFullOfDelimitersStayAsTheyAre) {
  std::string percents(65536, '%');
  EXPECT_EQ(X(percents), percents);
  std::string mixed;
  for (int i = 0; i < 16384; ++i) mixed += "%|(" + std::to_string(i % 10);
  EXPECT_EQ(X(mixed), mixed);
  std::string report;
  for (int i = 0; i < 8000; ++i) report += std::to_string(i % 100) + "% ";
  EXPECT_EQ(X(report + "%Year%"), report + "2026");
}

TEST_F(Expand, AReferenceMaySpanALongArgument) {
  std::string arg(60000, '7');
  EXPECT_EQ(X("<%IncDays(" + arg + ")%>"), "<IncDays(" + arg + ")>");
  EXPECT_EQ(X("%IncDays(" + std::string(50000, '%') + ")%"), "IncDays(" + std::string(50000, '%') + ")");
}

// ------------------------------------------------------------ the service

TEST_F(Expand, TheHostServiceCutsToTheCapacity) {
  EXPECT_EQ(HostExpand("Year %Year%"), "Year 2026");
  EXPECT_EQ(HostExpand("Year %Year%", 7), "Year 20");
  EXPECT_EQ(HostExpand("%Year%", 0), "");
  std::string out(16, '#');
  HostRecord.ExpandVariables(nullptr, &out[0], 10);
  EXPECT_EQ(out[0], '\0');
  HostRecord.ExpandVariables("x", nullptr, 10);  // nothing to write to
}

TEST_F(Expand, RegisterVariableAddsASystemVariableAndIgnoresKnownNames) {
  HostRecord.RegisterVariable("Probe(x)", "Probing", Probe);
  HostRecord.RegisterVariable("DATE", "Another date", Probe);
  HostRecord.RegisterVariable(nullptr, "none", Probe);
  HostRecord.RegisterVariable("NoFunc", "none", nullptr);
  EXPECT_EQ(List().Count(), 29);
  int i = List().IndexOfVar("Probe");
  EXPECT_EQ(List().Kinds(i), vkSystem);
  EXPECT_EQ(List().Descriptions(i), "Probing");
  EXPECT_EQ(HostExpand("%Date% %probe(1)%"), Date() + " [PROBE:1]");
  EXPECT_TRUE(MainLogTexts().empty());
}

TEST_F(Expand, WithoutATableTextsPassUnchanged) {
  FreeVariables();
  EXPECT_EQ(HostExpand("%Date%"), "%Date%");
  EXPECT_EQ(ExpandVariables("%Date%"), "%Date%");
  HostRecord.RegisterVariable("Probe", "", Probe);
  HandleAddVariable("A", "b");
  HandleDeleteVariable("A");
}
