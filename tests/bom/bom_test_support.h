// Test classes and helpers shared by the business-object tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bom/objects.h"

namespace omb::test {

// Every event a Recorder receives, as "who:event:objectPath:senderPath[:oldPath]".
inline std::vector<std::string>& EventLog() {
    static std::vector<std::string> log;
    return log;
}

class Recorder : public TBOMObject {
public:
    void Initialize() override {
        TBOMObject::Initialize();
        typeName_ = "RECORDER";
    }
    void ChangedFromParent(const std::string& path, IBOMObject* obj, const std::string& sender,
                           IBOMObject* s) override {
        EventLog().push_back(name_ + ":changed:" + path + ":" + sender);
        TBOMObject::ChangedFromParent(path, obj, sender, s);
    }
    void ChangedFromChild(const std::string& path, IBOMObject* obj, const std::string& sender,
                          IBOMObject* s) override {
        EventLog().push_back(name_ + ":changed:" + path + ":" + sender);
        TBOMObject::ChangedFromChild(path, obj, sender, s);
    }
    void RenamedFromParent(const std::string& np, IBOMObject* obj, const std::string& sender, IBOMObject* s,
                           const std::string& op) override {
        EventLog().push_back(name_ + ":renamed:" + np + ":" + sender + ":" + op);
        TBOMObject::RenamedFromParent(np, obj, sender, s, op);
    }
    void RenamedFromChild(const std::string& np, IBOMObject* obj, const std::string& sender, IBOMObject* s,
                          const std::string& op) override {
        EventLog().push_back(name_ + ":renamed:" + np + ":" + sender + ":" + op);
        TBOMObject::RenamedFromChild(np, obj, sender, s, op);
    }
    void Broadcast(int code, int p1, int p2) override {
        EventLog().push_back(name_ + ":broadcast:" + std::to_string(code));
        TBOMObject::Broadcast(code, p1, p2);
    }
};

class TestRoot : public Recorder {
public:
    void Initialize() override {
        Recorder::Initialize();
        typeName_ = "TESTROOT";
    }
    bool IsRoot() override { return true; }
};

// A collection of recorders whose items are saved as "item".
class RecorderCollection : public TBOMCollection {
public:
    void Initialize() override {
        TBOMCollection::Initialize();
        typeName_ = "RECORDERS";
        elementName_ = "recorders";
        itemElementName_ = "item";
        defaultItemType_ = "RECORDER";
    }
    // Holds only recorders: anything else read from a file is skipped.
    bool AcceptsItem(IBOMObject* item) override { return dynamic_cast<Recorder*>(item) != nullptr; }
    void ChangedFromChild(const std::string& path, IBOMObject* obj, const std::string& sender,
                          IBOMObject* s) override {
        EventLog().push_back(name_ + ":changed:" + path + ":" + sender);
        TBOMCollection::ChangedFromChild(path, obj, sender, s);
    }
};

inline void RegisterTestClasses() {
    RegisterBOMClasses();
    RegisterAbstractClass<Recorder>("RECORDER");
    RegisterAbstractClass<TestRoot>("TESTROOT");
    RegisterAbstractClass<RecorderCollection>("RECORDERS");
}

template <typename T> Ref<T> Make(const std::string& type, const std::string& name) {
    Ref<IBOMObjectSlave> o = CreateBOMObject(type, name);
    return Ref<T>(dynamic_cast<T*>(o.get()));
}

// Ends a tree: cut the owner links, then drop the reference.
template <typename T> void Tear(Ref<T>& root) {
    if (root) root->Disconnect();
    root = nullptr;
}

struct BomTest : ::testing::Test {
    void SetUp() override {
        RegisterTestClasses();
        EventLog().clear();
        live_ = TDebugInterfacedObject::LiveObjects();
    }
    void TearDown() override { EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), live_) << "objects leaked"; }
    long live_ = 0;
};

}  // namespace omb::test
