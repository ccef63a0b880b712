#include "model/criteria.h"

#include "bom/routines.h"
#include "foundation/winfuncs.h"

namespace omb {

const WindowText& TWindowFacts::Class() {
    if (!haveClass_) {
        className_ = ReadWindowClassName(window_);
        haveClass_ = true;
    }
    return className_;
}

const WindowText& TWindowFacts::Title() {
    if (!haveCaption_) {
        caption_ = ReadWindowCaption(window_);
        haveCaption_ = true;
    }
    return caption_;
}

bool TCompiledCriterion::Match(TWindowFacts& facts) const {
    const WindowText& have = facts.Text(caption);
    if (!have.exact) return false;  // a text that lost characters never decides a match
    return substring ? have.text.find(text) != std::string::npos : have.text == text;
}

bool MatchCriteria(const std::vector<TCompiledCriterion>& criteria, TWindowFacts& facts) {
    if (criteria.empty()) return false;  // no active criterion: it never matches
    for (const TCompiledCriterion& c : criteria)
        if (!c.Match(facts)) return false;
    return true;
}

bool TCompiledConditions::Match(TWindowFacts& facts) const {
    for (const std::vector<TCompiledCriterion>& condition : conditions)
        if (MatchCriteria(condition, facts)) return true;
    return false;
}

// ---------------------------------------------------------------------------

HRESULT TCriterion::QueryImpl(REFIID iid, void** object) {
    if (Offer<ICriterion>(this, iid, object)) return S_OK;
    return TEnabledItem::QueryImpl(iid, object);
}

void TCriterion::Initialize() {
    TEnabledItem::Initialize();
    elementName_ = "criterion";
}

Ref<IUnknown> TCriterion::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = TEnabledItem::QueryRole(role)) return r;
    if (role == "Criterion") return Ref<IUnknown>(static_cast<ICriterion*>(this));
    return nullptr;
}

void TCriterion::ChangedFromChild(const std::string& objectPath, IBOMObject* obj,
                                  const std::string& senderPath, IBOMObject* sender) {
    if (StartsWith("params/", objectPath)) UpdateStateIndex();
    TEnabledItem::ChangedFromChild(objectPath, obj, senderPath, sender);
}

bool TCriterion::SupportsRole(const std::string& role) {
    return TEnabledItem::SupportsRole(role) || role == "Criterion";
}

void TWindowClassNameCriterion::Initialize() {
    TCriterion::Initialize();
    typeName_ = "WINDOWCLASSNAMECRITERION";
    detailPanelMap_ = "DefaultDetailPanel=WindowClassCriterionDetailPanel";
    CreateParam("window_class_name", Variant(""));
    className_ = ParamObject("window_class_name");
    SetName(typeName_);
}

bool TWindowClassNameCriterion::IsActive() {
    return TEnabledItem::IsEnabled() && className_ && !className_->ValueIs("");
}

bool TWindowClassNameCriterion::MatchFacts(TWindowFacts& facts) {
    TCompiledCriterion compiled;
    return Compile(compiled) && compiled.Match(facts);
}

bool TWindowClassNameCriterion::Compile(TCompiledCriterion& out) {
    out.caption = false;
    out.substring = false;
    out.text = className_->Value().ToText();
    return true;
}

void TWindowCaptionCriterion::Initialize() {
    TCriterion::Initialize();
    typeName_ = "WINDOWCaptionCriterion";
    detailPanelMap_ = "DefaultDetailPanel=WindowCaptionCriterionDetailPanel";
    CreateParam("window_caption", Variant(""));
    CreateParam("exact_search", Variant("yes"));
    caption_ = ParamObject("window_caption");
    exactSearch_ = ParamObject("exact_search");
    enabled_->SetValue(Variant("no"));
    SetName(typeName_);
}

bool TWindowCaptionCriterion::IsActive() {
    return TEnabledItem::IsEnabled() && caption_ && !caption_->ValueIs("");
}

bool TWindowCaptionCriterion::Compile(TCompiledCriterion& out) {
    out.caption = true;
    out.substring = exactSearch_->ValueIs("no");
    out.text = caption_->Value().ToText();
    return true;
}

bool TWindowCaptionCriterion::MatchFacts(TWindowFacts& facts) {
    TCompiledCriterion compiled;
    return Compile(compiled) && compiled.Match(facts);
}

void TCriterions::Initialize() {
    TBOM_UI_Collection::Initialize();
    typeName_ = "CRITERIONS";
    elementName_ = "criterions";
    itemElementName_ = "criterion";
}

bool TCriterions::AcceptsItem(IBOMObject* item) {
    return item->SupportsRole("Criterion");
}

// ---------------------------------------------------------------------------

HRESULT TCondition::QueryImpl(REFIID iid, void** object) {
    if (Offer<ICondition>(this, iid, object)) return S_OK;
    return TEnabledItem::QueryImpl(iid, object);
}

void TCondition::Initialize() {
    TEnabledItem::Initialize();
    typeName_ = "CONDITION";
    elementName_ = "condition";
    detailPanelMap_ = "DefaultDetailPanel=ConditionDetailPanel";
    imageIndex_ = 2;
    criterions_ =
        Ref<TBOMCollection>(dynamic_cast<TBOMCollection*>(CreateChild("CRITERIONS", "criterions").get()));
    if (criterions_) {
        criterions_->AddItem(CreateBOMObject("WINDOWCLASSNAMECRITERION", "").get());
        criterions_->AddItem(CreateBOMObject("WINDOWCaptionCriterion", "").get());
    }
}

Ref<IUnknown> TCondition::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = TEnabledItem::QueryRole(role)) return r;
    if (role == "Condition") return Ref<IUnknown>(static_cast<ICondition*>(this));
    return nullptr;
}

bool TCondition::SupportsRole(const std::string& role) {
    return TEnabledItem::SupportsRole(role) || role == "Condition";
}

bool TCondition::MatchFacts(TWindowFacts& facts) {
    // The same routine as a stored rule's: the criteria as they are now.
    std::vector<TCompiledCriterion> criteria;
    return Compile(criteria) && MatchCriteria(criteria, facts);
}

bool TCondition::Compile(std::vector<TCompiledCriterion>& out) {
    out.clear();
    if (!criterions_) return true;
    const int count = criterions_->Count();
    for (int i = 0; i < count; ++i) {
        auto* criterion = dynamic_cast<TCriterion*>(criterions_->GetItem(Variant(i)).get());
        if (!criterion || !criterion->IsActive()) continue;
        TCompiledCriterion compiled;
        if (!criterion->Compile(compiled)) return false;
        out.push_back(std::move(compiled));
    }
    return true;
}

void TConditions::Initialize() {
    TBOM_UI_Collection::Initialize();
    typeName_ = "CONDITIONS";
    elementName_ = "conditions";
    itemElementName_ = "condition";
    defaultItemType_ = "CONDITION";
    imageIndex_ = 3;
}

bool TConditions::AcceptsItem(IBOMObject* item) {
    return item->SupportsRole("Condition");
}

}  // namespace omb
