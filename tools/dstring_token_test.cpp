// Tokenisers and callbacks: state and end marker, empty pieces, delimiters reported,
// transforms with release, substitution of open/close sections, and failure paths.
#include <string>
#include <vector>

#include "tools/dstring_test_util.h"

namespace {

TEST(Split, KeepsEmptyPiecesAndEndsWithMarker) {
  char text[] = "a,,b;";
  char* state = nullptr;
  char found = 'x';
  EXPECT_STREQ(tool_strsplit(text, ",;", &state, &found), "a");
  EXPECT_EQ(found, ',');
  EXPECT_STREQ(tool_strsplit(nullptr, ",;", &state, &found), "");
  EXPECT_EQ(found, ',');
  EXPECT_STREQ(tool_strsplit(nullptr, ",;", &state, &found), "b");
  EXPECT_EQ(found, ';');
  EXPECT_STREQ(tool_strsplit(nullptr, ",;", &state, &found), "");  // after the last ';'
  EXPECT_EQ(found, '\0');
  EXPECT_EQ(state, tool_strtoken_end());
  EXPECT_EQ(tool_strsplit(nullptr, ",;", &state, &found), nullptr);
  EXPECT_EQ(tool_strsplit(nullptr, ",;", &state, nullptr), nullptr);  // stays at the end
  EXPECT_NE(tool_strtoken_end(), nullptr);
}

TEST(Split, NewTextRestartsAndAbsentArgumentsAreSafe) {
  char* state = tool_strtoken_end();
  char text[] = "x y";
  EXPECT_STREQ(tool_strsplit(text, " ", &state, nullptr), "x");
  char other[] = "whole";
  EXPECT_STREQ(tool_strsplit(other, nullptr, &state, nullptr), "whole");
  EXPECT_EQ(state, tool_strtoken_end());
  EXPECT_EQ(tool_strsplit(text, " ", nullptr, nullptr), nullptr);
  char* fresh = nullptr;
  EXPECT_EQ(tool_strsplit(nullptr, " ", &fresh, nullptr), nullptr);
}

TEST(Token, SkipsEmptyPieces) {
  char text[] = ",,alpha,,beta;;";
  char* state = nullptr;
  char found = 0;
  EXPECT_STREQ(tool_strtoken(text, ",;", &state, &found), "alpha");
  EXPECT_EQ(found, ',');
  EXPECT_STREQ(tool_strtoken(nullptr, ",;", &state, &found), "beta");
  EXPECT_EQ(found, ';');
  EXPECT_EQ(tool_strtoken(nullptr, ",;", &state, &found), nullptr);
  EXPECT_EQ(state, tool_strtoken_end());
  EXPECT_EQ(tool_strtoken(nullptr, ",;", &state, &found), nullptr);
  char only[] = ",,,";
  EXPECT_EQ(tool_strtoken(only, ",", &state, nullptr), nullptr);
}

TEST(Token, ForEachVisitsNonEmptyPiecesOfACopy) {
  std::vector<std::string> seen;
  const char* text = " a  bc d ";
  EXPECT_EQ(tool_strforeachtoken(
                text, " ",
                [](char* piece, void* user) {
                  static_cast<std::vector<std::string>*>(user)->push_back(piece);
                },
                &seen),
            1);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "bc", "d"}));
  EXPECT_STREQ(text, " a  bc d ");
  EXPECT_EQ(tool_strforeachtoken(text, " ", nullptr, nullptr), 0);
  EXPECT_EQ(tool_strforeachtoken(nullptr, " ", [](char*, void*) {}, nullptr), 1);
}

char* bracket(const char* piece, void* user) {
  if (std::string(piece) == "skip") return nullptr;
  ++*static_cast<int*>(user);
  char* out = nullptr;
  tool_sprintf(&out, "<%s>", piece);
  return out;
}

int s_released = 0;
void release(char** result) {
  ++s_released;
  tool_strfree(result);
}

TEST(Token, TransformConcatenatesAndReleases) {
  int calls = 0;
  s_released = 0;
  OwnedString out(tool_strtransformtokens("a,skip,,bc", ",", bracket, release, &calls));
  EXPECT_EQ(out.str(), "<a><bc>");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(s_released, 2);
  EXPECT_EQ(tool_strtransformtokens(",,", ",", bracket, release, &calls), nullptr);
  EXPECT_EQ(tool_strtransformtokens(nullptr, ",", bracket, release, &calls), nullptr);
}

char* lookup(const char* name, void*) {
  if (std::string(name) == "USER") return tool_strdup("ann");
  if (std::string(name) == "") return tool_strdup("%");
  return nullptr;
}

TEST(Substitute, ReplacesKnownSectionsAndKeepsOthers) {
  s_released = 0;
  EXPECT_EQ(OwnedString(tool_strexpandpercent("home/%USER%/x", lookup, release)).str(),
            "home/ann/x");
  EXPECT_EQ(s_released, 1);
  EXPECT_EQ(OwnedString(tool_strexpandpercent("%NOPE%-%USER%", lookup, release)).str(),
            "%NOPE%-ann");
  EXPECT_EQ(OwnedString(tool_strexpandpercent("100%% sure", lookup, release)).str(),
            "100% sure");
  EXPECT_EQ(OwnedString(tool_strexpandpercent("a%USER", lookup, release)).str(), "a%USER");
  EXPECT_EQ(OwnedString(tool_strsubstitute("x${USER}y${A", "${", "}", lookup, release,
                                           nullptr)).str(),
            "xanny${A");
  EXPECT_EQ(OwnedString(tool_strsubstitute("abc", "", "}", lookup, release, nullptr)).str(),
            "abc");
  EXPECT_EQ(OwnedString(tool_strexpandpercent("", lookup, release)).str(), "");
  EXPECT_EQ(tool_strexpandpercent(nullptr, lookup, release), nullptr);
}

TEST(TokenFailure, AllocationFailures) {
  std::vector<std::string> seen;
  {
    ScopedAllocFailure fail;
    EXPECT_EQ(captured_stderr([&] {
                EXPECT_EQ(tool_strforeachtoken("a b", " ", [](char*, void*) {}, nullptr), 0);
              }),
              "Error: tool_strdup: Memory allocation failed!\n");
  }
  {
    int calls = 0;
    ScopedAllocFailure fail(1);  // the private copy works, the result cannot grow
    // The transform's own allocations fail too, so it gives nothing; use a static text.
    std::string err = captured_stderr([&] {
      EXPECT_EQ(tool_strtransformtokens(
                    "a b", " ", [](const char*, void*) { return const_cast<char*>("t"); },
                    nullptr, &calls),
                nullptr);
    });
    EXPECT_EQ(err, "Error: tool_strtransformtokens: Memory allocation failed!\n");
  }
  {
    ScopedAllocFailure fail(2);  // copy and empty result work, the first append fails
    std::string err = captured_stderr(
        [&] { EXPECT_EQ(tool_strexpandpercent("x%USER%", lookup, release), nullptr); });
    EXPECT_EQ(err, "Error: tool_strsubstitute: Memory allocation failed!\n");
  }
}

// Makes each allocation in turn fail: the result is either absent or complete, and
// nothing leaks (checked by the sanitizer build).
template <typename Run>
void sweep_failures(const char* expected, Run run) {
  for (long successes = 0; successes < 12; ++successes) {
    ScopedAllocFailure fail(successes, 1);
    char* result = nullptr;
    captured_stderr([&] { result = run(); });
    OwnedString owned(result);
    if (result != nullptr) {
      EXPECT_STREQ(result, expected) << "after " << successes;
    }
  }
}

TEST(TokenFailure, EveryAllocationOfTheCallbacksMayFail) {
  // Transforms that do not allocate, so that only the library's own allocations fail.
  sweep_failures("a-ann-b%X%", [] {
    return tool_strexpandpercent(
        "a-%USER%-b%X%",
        [](const char* name, void*) {
          return std::string(name) == "USER" ? const_cast<char*>("ann") : nullptr;
        },
        nullptr);
  });
  sweep_failures("<a><bc>", [] {
    int calls = 0;
    return tool_strtransformtokens(
        "a,,bc", ",",
        [](const char* piece, void*) {
          return const_cast<char*>(piece[0] == 'a' ? "<a>" : "<bc>");
        },
        nullptr, &calls);
  });
  sweep_failures("x|y|z", [] {
    tool_strlist_s list{};
    char* joined = nullptr;
    const int ok = tool_strlist_split("x y  z", " ", &list);
    tool_alloc_fail_reset();  // only the split is under test
    if (ok == 1) {
      for (int32_t i = 0; i < list.count; ++i) {
        if (i > 0) tool_strcat(&joined, "|");
        tool_strcat(&joined, list.strings[i]);
      }
      // A list cut short by a failure must never pass as whole.
      if (list.count != 3) tool_strcpy(&joined, "incomplete but reported as success");
    }
    tool_strlist_free(&list);
    return joined;
  });
}

}  // namespace
