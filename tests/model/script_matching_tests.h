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

#include "foundation/xml_storage.h"
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

// Every criterion of this suite against every window of it, texts that lost
// characters included: the rule as objects and the same rule stored (as a
// rule loaded from a file is kept) answer alike, window for window.
TEST_F(ScriptMatching, ObjectsAndTheStoredFormAnswerAlike) {
    TestWindow high(std::wstring(L"OmbScriptLost"), std::wstring(L"\xD800 x"));
    TestWindow low(std::wstring(L"OmbScriptLost"), std::wstring(L"\xDC00 x"));
    TestWindow lostClass(std::wstring(L"OmbScript\xD800"
                                      L"Class"),
                         std::wstring(L"plain x"));
    std::vector<HWND> windows;
    for (const auto& w : captions) windows.push_back(w->get());
    for (HWND w : {classA->get(), classB->get(), high.get(), low.get(), lostClass.get()}) windows.push_back(w);
    for (HWND w : windows) ASSERT_TRUE(w);

    struct Case {
        std::string className, caption, exact, captionOn;
    };
    const std::vector<std::string>& c = ScriptCaptions();
    const std::vector<Case> cases = {
        {"", c[1], "yes", "yes"},
        {"", "?????? ??", "yes", "yes"},
        {"", u8"\U0001F642", "no", "yes"},
        {"", u8"\u0432", "no", "yes"},
        {"", "?", "no", "yes"},
        {"", "l", "no", "yes"},
        {"", "x", "no", "yes"},
        {"", u8"\uFFFD x", "yes", "yes"},
        {"", u8"\uFFFD", "no", "yes"},
        {"", "x", "false", "yes"},
        {kScriptClassA, "", "yes", "no"},
        {"?????????", "", "yes", "no"},
        {u8"OmbScript\uFFFDClass", "", "yes", "no"},
        {"OmbScriptLost", "x", "no", "yes"},
        {"OmbScriptLost", "", "yes", "no"},
        {"OmbScriptCaption", c[0], "yes", "yes"},
        {"OmbScriptCaption", c[0], "yes", "no"},
    };
    int matches = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& k = cases[i];
        Criterion("WINDOWCLASSNAMECRITERION", "window_class_name", k.className);
        Criterion("WINDOWCaptionCriterion", "window_caption", k.caption);
        Criterion("WINDOWCaptionCriterion", "exact_search", k.exact);
        Criterion("WINDOWCaptionCriterion", "enabled", k.captionOn);
        ASSERT_TRUE(rule->Realized());

        Ref<TXMLStorage> storage = TXMLStorage::Create();
        ASSERT_TRUE(storage->CreateNew("window_rule"));
        storage->SaveObject(static_cast<IPersistObject*>(rule.get()));
        Ref<TWindowRule> stored = New<TWindowRule>("WINDOWRULE", "stored");
        stored->SetOwner(nullptr);
        storage->LoadObject(static_cast<IPersistObject*>(stored.get()));
        storage = nullptr;
        EXPECT_FALSE(stored->Realized()) << "case " << i;
        for (size_t w = 0; w < windows.size(); ++w) {
            const bool objects = rule->Match(windows[w]);
            EXPECT_EQ(stored->Match(windows[w]), objects) << "case " << i << ", window " << w;
            matches += objects ? 1 : 0;
        }
        stored->Disconnect();
    }
    EXPECT_GT(matches, 5) << "the table matches some windows, not none";
}

}  // namespace omb::test
