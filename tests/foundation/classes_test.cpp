#include <gtest/gtest.h>

#include <vector>

#include "foundation/classes.h"

using namespace omb;

namespace {
std::vector<std::string> g_log;

class Recorder : public TAbstractObject {
public:
    ~Recorder() override { g_log.push_back("destroyed"); }
    void Initialize() override { g_log.push_back("init"); }
    void SetParam(const std::string& key, const std::string& value) override {
        g_log.push_back(key + "=" + value);
        if (key == "FAIL") throw std::runtime_error("refused");
    }
};
class Other : public TAbstractObject {};
class FailsInInit : public TAbstractObject {
public:
    ~FailsInInit() override { g_log.push_back("destroyed"); }
    void Initialize() override { throw std::runtime_error("init failed"); }
};

struct Registry : ::testing::Test {
    void SetUp() override {
        FreeClassRegistry();
        CreateClassRegistry();
        RegisterAbstractClass<Recorder>("X");
        RegisterAbstractClass<FailsInInit>("BAD");
        g_log.clear();
    }
    void TearDown() override {
        FreeClassRegistry();
        CreateClassRegistry();
    }
};
}  // namespace

TEST_F(Registry, TwoPhaseCreationWithParameters) {
    Ref<TAbstractObject> o = CreateAbstractObject("x{a=1\\B={e=2\\d=3}}");
    ASSERT_TRUE(o);
    EXPECT_EQ(g_log, (std::vector<std::string>{"init", "A=1", "B=e=2\\d=3"}));
    EXPECT_EQ(o->RefCount(), 1);

    g_log.clear();
    o = CreateAbstractObject("X");
    EXPECT_EQ(g_log, (std::vector<std::string>{"init", "destroyed"}));
}

TEST_F(Registry, ClosingBraceIsDroppedWhateverItIs) {
    CreateAbstractObject("X{A=1");
    EXPECT_EQ(g_log, (std::vector<std::string>{"init", "A=", "destroyed"}));
    g_log.clear();
    CreateAbstractObject("X{");
    CreateAbstractObject("X{}");
    EXPECT_EQ(g_log, (std::vector<std::string>{"init", "destroyed", "init", "destroyed"}));
    g_log.clear();
    // A piece without "=" gives an empty key and value after the real pairs.
    CreateAbstractObject("X{flag\\k=v}");
    EXPECT_EQ(g_log, (std::vector<std::string>{"init", "K=v", "=", "destroyed"}));
}

TEST_F(Registry, FailuresFreeTheObjectAndPassOn) {
    EXPECT_THROW(CreateAbstractObject("X{a=1\\fail=1\\b=2}"), std::runtime_error);
    EXPECT_EQ(g_log, (std::vector<std::string>{"init", "A=1", "FAIL=1", "destroyed"}));
    g_log.clear();
    EXPECT_THROW(CreateAbstractObject("BAD"), std::runtime_error);
    EXPECT_EQ(g_log, (std::vector<std::string>{"destroyed"}));
}

TEST_F(Registry, LookupAndRegistration) {
    EXPECT_FALSE(CreateAbstractObject("Y"));
    EXPECT_FALSE(CreateAbstractObject(""));
    EXPECT_FALSE(CreateAbstractObject(" X"));  // the name is not trimmed
    RegisterAbstractClass<Other>("x");         // the first registration stays
    EXPECT_EQ(AbstractClasses()->Get("X"), &ConstructAbstractObject<Recorder>);
    FreeClassRegistry();
    EXPECT_FALSE(CreateAbstractObject("X"));
    RegisterAbstractClass<Other>("Y");  // no registry: nothing happens
    EXPECT_EQ(AbstractClasses(), nullptr);
}
