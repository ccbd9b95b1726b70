#include "script/script_host.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/os/os.h"
#include "script/script_natives.h"

namespace {

struct ScriptHostTest : testing::Test {
  script_host* host = nullptr;
  void SetUp() override {
    host = script_host_create();
    ASSERT_NE(host, nullptr);
  }
  void TearDown() override { script_host_destroy(host); }
};

TEST_F(ScriptHostTest, CallFollowsDottedPathsAndReportsWhereItStopped) {
  ASSERT_EQ(script_eval(host, "var bk = { n: 7, f: function (a, b) { return a.length * 10 + b.length; },"
                              " nan: function () { return NaN; }, big: function () { return 1e300; },"
                              " text: function () { return '12'; }, boom: function () { throw new Error('boom'); } };"),
            1);
  EXPECT_EQ(script_call(host, "bk.f", "abc", "de", nullptr), 32);
  EXPECT_STREQ(script_last_error(host), "");
  EXPECT_EQ(script_call(host, "bk.nan", nullptr), 0);
  EXPECT_EQ(script_call(host, "bk.big", nullptr), 2147483647);
  EXPECT_EQ(script_call(host, "bk.text", nullptr), 0);

  struct row {
    const char* path;
    const char* error;
  } rows[] = {
      {"bk.nothing.deeper", "can't find deeper"},
      {"bk.nothing", "nothing is not a function"},
      {"bk.n", "n is not a function"},
      {"bk.n.x.y", "can't find x.y"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(script_call(host, r.path, nullptr), 0) << r.path;
    EXPECT_STREQ(script_last_error(host), r.error) << r.path;
  }
  const std::string long_part = "bk." + std::string(1024, 'q') + ".f";
  EXPECT_EQ(script_call(host, long_part.c_str(), nullptr), 0);
  EXPECT_EQ(std::string(script_last_error(host)), "can't find " + std::string(800, 'q'));

  EXPECT_EQ(script_call(host, "bk.boom", nullptr), DUK_EXEC_ERROR);
  EXPECT_STREQ(script_last_error(host), "Error: boom");
  // A getter on the path that throws is an error of the call, not of the game.
  ASSERT_EQ(script_eval(host, "Object.defineProperty(bk, 'trap', { get: function () { throw 'trapped'; } });"), 1);
  EXPECT_EQ(script_call(host, "bk.trap.f", nullptr), DUK_EXEC_ERROR);
  EXPECT_STREQ(script_last_error(host), "trapped");
}

TEST_F(ScriptHostTest, EvalErrorsAreKeptToTheirFirst1023Characters) {
  EXPECT_EQ(script_eval(host, "syntax error here"), 0);
  EXPECT_NE(std::string(script_last_error(host)).find("SyntaxError"), std::string::npos);
  EXPECT_EQ(script_eval(host, "throw new Array(3000).join('x');"), 0);
  EXPECT_EQ(std::string(script_last_error(host)), std::string(1023, 'x'));
  EXPECT_EQ(script_eval(host, "1 + 1"), 1);
  EXPECT_STREQ(script_last_error(host), "");
}

TEST_F(ScriptHostTest, NativesJoinTheirObjectAndNothingElseJoinsTheGlobal) {
  ASSERT_EQ(script_eval(host, "var before = Object.getOwnPropertyNames(this).length;"), 1);
  ASSERT_EQ(script_register_natives(host, "bk", script_native_names, script_native_functions,
                                    script_native_arg_counts),
            1);
  ASSERT_EQ(script_eval(host, "if (Object.getOwnPropertyNames(this).length != before + 1) throw 'global grew';"
                              "if (Object.keys(bk).length != 50) throw 'natives ' + Object.keys(bk).length;"
                              "if (bk.paste_custom_frame.length != 8 || bk.get_max_slots() != 160) throw 'table';"),
            1)
      << script_last_error(host);
}

TEST_F(ScriptHostTest, AScriptThatAllocatesForeverGetsTheEnginesErrorAndTheHeapGoesOn) {
  EXPECT_EQ(script_eval(host, "var s = 'x'; for (;;) s = s + s;"), 0);
  EXPECT_NE(std::string(script_last_error(host)), "");
  EXPECT_LE(host->heap_bytes, (size_t)script_heap_limit);
  EXPECT_EQ(script_eval(host, "s = null; var t = [1, 2, 3].join('-');"), 1);
  script_collect_garbage(host);
  EXPECT_LT(host->heap_bytes, (size_t)(4 << 20));
}

TEST_F(ScriptHostTest, ABudgetStopsALoopThatCatchesItsOwnTimeout) {
  script_set_budget(host, 100);
  EXPECT_EQ(script_eval(host, "for (;;) { try { for (;;) {} } catch (e) {} }"), 0);
  EXPECT_EQ(host->budget_spent, 1);
  EXPECT_NE(std::string(script_last_error(host)).find("RangeError"), std::string::npos);
  // Instructions that copy long strings are stopped as well.
  script_set_budget(host, 100);
  EXPECT_EQ(script_eval(host, "var a = []; for (;;) a.push({ s: 'x' + a });"), 0);
  EXPECT_EQ(host->budget_spent, 1);
  // So is a regular expression that backtracks without end.
  script_set_budget(host, 100);
  EXPECT_EQ(script_eval(host, "/(a+)+b/.exec('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac');"), 0);
  EXPECT_NE(std::string(script_last_error(host)).find("RangeError"), std::string::npos);
  script_set_budget(host, 0);
  EXPECT_EQ(script_eval(host, "a = null; var after = 1;"), 1);
}

TEST_F(ScriptHostTest, TheBudgetCountsTheScriptsOwnTimeAndTheWallClockOnlyFarBeyondIt) {
  // Time the thread spends off the processor (a loaded machine, here a
  // sleep) is not the script's: the budget is still there.
  script_set_budget(host, 20);
  os_sleep_ms(60);
  EXPECT_EQ(script_budget_spent(host), 0);
  // Work of its own spends it.
  const double start = os_thread_cpu_seconds();
  volatile double sink = 0;
  while (os_thread_cpu_seconds() - start < 0.03) sink = sink + 1;
  EXPECT_EQ(script_budget_spent(host), 1);
  // A script that blocks is stopped once the wall clock passes the backstop.
  script_set_budget(host, 5);
  os_sleep_ms(5 * script_wall_backstop_factor + 20);
  EXPECT_EQ(script_budget_spent(host), 1);
  script_set_budget(host, 0);
  EXPECT_EQ(script_budget_spent(host), 0);
}

TEST(ScriptHost, SaturatesDoublesIntoInts) {
  EXPECT_EQ(script_saturate_int(NAN), 0);
  EXPECT_EQ(script_saturate_int(-1e300), -2147483647 - 1);
  EXPECT_EQ(script_saturate_int(INFINITY), 2147483647);
  EXPECT_EQ(script_saturate_int(-2.9), -2);
}

TEST(ScriptHost, CompileCheckNamesTheLine) {
  char error[script_error_bytes];
  EXPECT_EQ(script_compile_check("var a = 1;\nvar b = ;\n", "frills.js", error), 0);
  EXPECT_NE(std::string(error).find("line 2"), std::string::npos) << error;
  EXPECT_EQ(script_compile_check("for (;;) {}", "frills.js", error), 1);
}

using ScriptHostDeathTest = ScriptHostTest;
TEST_F(ScriptHostDeathTest, AThrowOutsideAnyProtectedCallEndsTheGameWithItsLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        duk_push_error_object(host->context, DUK_ERR_ERROR, "nobody catches this");
        duk_throw(host->context);
      },
      testing::ExitedWithCode(1), "Script engine fatal error: .*nobody catches this");
}

}  // namespace
