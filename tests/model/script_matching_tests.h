// Window rules for captions and class names beyond ASCII match only their
// windows, and a text that lost characters matches nothing. Included by two
// test programs: model_test, which runs with the UTF-8 active code page like
// every program of ours, and ansi_process_test, which runs under the
// system's one-byte code page (windows-1252 in the test prefix), as our
// programs do on a Windows older than 1903: the answers must be the same.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model_test_support.h"
#include "script_texts.h"

namespace omb::test {

struct ScriptMatching : ModelTest {
    void SetUp() override {
        ModelTest::SetUp();
        rule = New<TWindowRule>("WINDOWRULE", u8"\u041f\u0440\u0430\u0432\u0438\u043b\u043e \U0001F642");
        rule->SetOwner(nullptr);
        for (const std::string& caption : ScriptCaptions())
            captions.push_back(std::make_unique<TestWindow>("OmbScriptCaption", caption));
        classA = std::make_unique<TestWindow>(kScriptClassA, "class A");
        classB = std::make_unique<TestWindow>(kScriptClassB, "class B");
    }
    void TearDown() override {
        captions.clear();
        classA.reset();
        classB.reset();
        rule->Disconnect();
        rule = nullptr;
        ModelTest::TearDown();
    }
    void Criterion(const char* criterion, const char* param, const std::string& value) {
        Set(rule.get(),
            std::string("conditions/DefaultCondition/criterions/") + criterion + "/params/" + param, value);
    }
    void CaptionRule(const std::string& caption, bool exact) {
        Criterion("WINDOWCaptionCriterion", "window_caption", caption);
        Criterion("WINDOWCaptionCriterion", "exact_search", exact ? "yes" : "no");
        Criterion("WINDOWCaptionCriterion", "enabled", "yes");
    }
    // Which of the caption windows the rule matches, as "0101".
    std::string Matched() {
        std::string answer;
        for (const auto& w : captions) answer += rule->Match(w->get()) ? '1' : '0';
        return answer;
    }

    Ref<TWindowRule> rule;
    std::vector<std::unique_ptr<TestWindow>> captions;
    std::unique_ptr<TestWindow> classA, classB;
};

TEST_F(ScriptMatching, AnExactCaptionRulesOnlyItsWindow) {
    ASSERT_TRUE(captions[1]->get());
    CaptionRule(ScriptCaptions()[1], true);
    EXPECT_EQ(Matched(), "0100");
    CaptionRule("?????? ??", true);
    EXPECT_EQ(Matched(), "0010") << "the question marks are a caption of their own";
    EXPECT_FALSE(rule->Match(classA->get()));
}

TEST_F(ScriptMatching, ASubstringRulesOnlyTheWindowsHoldingIt) {
    CaptionRule(u8"\U0001F642", false);  // 🙂
    EXPECT_EQ(Matched(), "0100");
    CaptionRule(u8"\u0432", false);  // в: in both Cyrillic captions
    EXPECT_EQ(Matched(), "1100");
    CaptionRule("?", false);
    EXPECT_EQ(Matched(), "0010");
    CaptionRule("l", false);
    EXPECT_EQ(Matched(), "0001");
}

TEST_F(ScriptMatching, AClassNameRulesOnlyItsClass) {
    Criterion("WINDOWCLASSNAMECRITERION", "window_class_name", kScriptClassA);
    EXPECT_TRUE(rule->Match(classA->get()));
    EXPECT_FALSE(rule->Match(classB->get()));
    EXPECT_EQ(Matched(), "0000");
    Criterion("WINDOWCLASSNAMECRITERION", "window_class_name", "?????????");
    EXPECT_FALSE(rule->Match(classA->get()));
    EXPECT_FALSE(rule->Match(classB->get()));
}

TEST_F(ScriptMatching, ATextThatLostCharactersMatchesNoCriterion) {
    // Unpaired surrogates have no UTF-8 form: both captions read as
    // "\uFFFD x", and so would a class name holding one. Such a text decides
    // no match, not even for a criterion that its readable part would meet.
    TestWindow high(std::wstring(L"OmbScriptLost"), std::wstring(L"\xD800 x"));
    TestWindow low(std::wstring(L"OmbScriptLost"), std::wstring(L"\xDC00 x"));
    TestWindow lostClass(std::wstring(L"OmbScript\xD800"
                                      L"Class"),
                         std::wstring(L"plain x"));
    ASSERT_TRUE(high.get() && low.get() && lostClass.get());
    CaptionRule(u8"\uFFFD x", true);
    EXPECT_FALSE(rule->Match(high.get()));
    EXPECT_FALSE(rule->Match(low.get()));
    CaptionRule("x", false);
    EXPECT_FALSE(rule->Match(high.get()));
    EXPECT_FALSE(rule->Match(low.get()));
    EXPECT_TRUE(rule->Match(lostClass.get())) << "its caption is whole";
    Criterion("WINDOWCaptionCriterion", "enabled", "no");
    Criterion("WINDOWCLASSNAMECRITERION", "window_class_name", u8"OmbScript\uFFFDClass");
    EXPECT_FALSE(rule->Match(lostClass.get()));
}

}  // namespace omb::test
