#include "model/root.h"

#include <set>
#include <vector>

#include "bom/ui_commands.h"
#include "foundation/handles.h"
#include "foundation/channel.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "foundation/strings.h"
#include "bom/stored_tree.h"
#include "foundation/xml_storage.h"
#include "model/window_rules.h"
#include "model/xml_text.h"

namespace omb {

HRESULT TTarvelWindows::QueryImpl(REFIID iid, void** object) {
    if (Offer<IControlCenter>(this, iid, object) || Offer<IConfigBuilder>(this, iid, object) ||
        Offer<IUI>(this, iid, object))
        return S_OK;
    return TBOM_UI_Object::QueryImpl(iid, object);
}

void TTarvelWindows::Initialize() {
    TBOM_UI_Object::Initialize();
    typeName_ = "TARVILWINDOWS";
    elementName_ = "tarvel_windows";
    imageIndex_ = 0;
    hasChildren_ = true;
    rules_ = Ref<TBOMCollection>(dynamic_cast<TBOMCollection*>(CreateChild("WINDOWRULES", "window_rules").get()));
    Ref<IBOMObjectSlave> menu = CreateChild("BOMUICOMMANDS", "menu");
    Ref<IBOMObjectSlave> toolbar = CreateChild("BOMUICOMMANDS", "toolbar");
    if (menu) LoadFromXMLText(menu.As<IPersistObject>().get(), kMainMenuDocument);
    if (toolbar) LoadFromXMLText(toolbar.As<IPersistObject>().get(), kToolBarDocument);
}

std::string TTarvelWindows::GetCaption() { return GetMLString("AppRootNodeCaption", "Window Rules"); }

Ref<IUIList> TTarvelWindows::GetSubList() {
    Ref<IBOMObject> rules = GetObject("window_rules");
    return rules ? rules->QueryRole("UIList").As<IUIList>() : nullptr;
}

std::unique_ptr<TAbstractDetailPanel> TTarvelWindows::CreateDetailPanelFor(const std::string&) {
    return CreateDetailPanel("TarvelWindowsDetailPanel");
}

Ref<IUnknown> TTarvelWindows::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = TBOM_UI_Object::QueryRole(role)) return r;
    if (role == "ControlCenter") return Ref<IUnknown>(static_cast<IControlCenter*>(this));
    if (role == "CongifBuilder") return Ref<IUnknown>(static_cast<IConfigBuilder*>(this));
    return nullptr;
}

bool TTarvelWindows::SupportsRole(const std::string& role) {
    return TBOM_UI_Object::SupportsRole(role) || role == "ControlCenter" || role == "CongifBuilder";
}

void TTarvelWindows::ObjectChanged(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                                   IBOMObject* sender) {
    TBOM_UI_Object::ObjectChanged(objectPath, obj, senderPath, sender);
    if (senderPath != "menu" && senderPath != "toolbar") modified_ = true;
}

void TTarvelWindows::AfterChangeObjectName(const std::string& newPath, IBOMObject* obj,
                                           const std::string& senderPath, IBOMObject* sender,
                                           const std::string& oldPath) {
    TBOM_UI_Object::AfterChangeObjectName(newPath, obj, senderPath, sender, oldPath);
    modified_ = true;
}

void TTarvelWindows::Broadcast(int code, int param1, int param2) {
    const bool before = modified_;
    TBOM_UI_Object::Broadcast(code, param1, param2);
    if (code == 1) modified_ = before;
}

namespace {
// The element names under which the object's own children are stored.
std::set<std::string> StoredChildNames(TBOMObjectWithAll& object) {
    std::set<std::string> names;
    IBOMCollection* all = object.All();
    for (int i = 0; all && i < all->Count(); ++i)
        if (Ref<IPersistObject> persist = all->GetItem(Variant(i)).As<IPersistObject>())
            names.insert(persist->GetElementName());
    return names;
}

// The first child element of the node that none of the known names names;
// empty when there is none.
std::string UnknownChild(IHierStorage* node, const std::set<std::string>& known) {
    for (const std::string& name : node->ChildNodeNames())
        if (!known.count(name)) return name;
    return std::string();
}

[[noreturn]] void RefuseMissing(const std::string& parent, const std::string& expected, const std::string& found) {
    std::string text = GetMLString("TW_ElementMissing",
                                   "The element <%parent%> holds no <%expected%>: an unknown element "
                                   "<%found%> stands in its place.");
    text = ReplaceTextAnsi(text, "%parent%", parent);
    text = ReplaceTextAnsi(text, "%expected%", expected);
    throw ENotAConfiguration(ReplaceTextAnsi(text, "%found%", found));
}
}  // namespace

void TTarvelWindows::CheckShape(IHierStorage* node) {
    // Read as it stands, such a document would open as an empty
    // configuration, and its first save would destroy it. A configuration
    // that is merely short (no rules yet) is no other shape.
    const std::string root = node->NodeName();
    if (!root.empty() && root != elementName_) {
        std::string text = GetMLString("TW_NotAConfiguration",
                                       "The file holds no configuration: its root element is <%found%>, "
                                       "where a configuration has <%expected%>.");
        text = ReplaceTextAnsi(text, "%found%", root);
        throw ENotAConfiguration(ReplaceTextAnsi(text, "%expected%", elementName_));
    }
    if (!rules_) return;
    const std::string rulesElement = rules_->GetElementName();
    Ref<IHierStorage> rules = node->GetChild(rulesElement, 0);
    if (!rules) {
        const std::string found = UnknownChild(node, StoredChildNames(*this));
        if (!found.empty()) RefuseMissing(root, rulesElement, found);
        return;
    }
    if (Ref<IHierStorage> content = rules->GetChild("content", 0)) {
        // Elements in the content of which none is a rule: another shape
        // too. An empty content is a configuration with no rules.
        const std::string itemElement = rules_->GetItemElementName();
        const std::vector<std::string> names = content->ChildNodeNames();
        if (!names.empty() && content->ChildCount(itemElement) == 0)
            RefuseMissing("content", itemElement, names.front());
        return;
    }
    std::set<std::string> known = StoredChildNames(*rules_);
    known.insert("content");
    const std::string found = UnknownChild(rules.get(), known);
    if (!found.empty()) RefuseMissing(rulesElement, "content", found);
}

void TTarvelWindows::LoadContent(IHierStorage* node, bool readName) {
    CheckShape(node);
    unkept_.clear();
    before_.clear();
    after_.clear();
    // A program that never saves keeps nothing, and so notes nothing.
    const TUnkeptScope notes(KeepsUnread() ? &unkept_ : nullptr);
    if (auto* document = KeepsUnread() ? dynamic_cast<TXMLStorage*>(node) : nullptr) {
        // Around the root element: comments and processing instructions are
        // written again; a document type declaration is not.
        bool inside = false;
        for (const THierNode& around : document->DocumentNodes()) {
            if (!around.name.empty()) {
                inside = true;
            } else if (around.markup.compare(0, 4, "<!--") != 0 && around.markup.compare(0, 2, "<?") != 0) {
                TUnkeptScope::Note(ReplaceTextAnsi(
                    GetMLString("TW_UnkeptAroundRoot", "%what% outside the root element"), "%what%",
                    around.markup.size() > 80 ? around.markup.substr(0, 80) + "..." : around.markup));
            } else {
                (inside ? after_ : before_).push_back(around.markup);
            }
        }
    }
    TBOM_UI_Object::LoadContent(node, readName);
    if (rules_ && rules_->RenamedOnLoad() > 0) modified_ = true;
}

std::vector<std::string> TTarvelWindows::Unkept() {
    const TUnkeptScope notes(&unkept_);
    if (rules_)
        for (const Ref<IBOMObject>& item : rules_->Items())
            if (auto* rule = dynamic_cast<TWindowRule*>(item.get())) rule->ReadPendingParts();
    return unkept_;
}

bool TTarvelWindows::ShouldSave(IBOMObject* child) {
    const std::string name = child->GetName();
    return name != "menu" && name != "toolbar" && TBOM_UI_Object::ShouldSave(child);
}

std::string TTarvelWindows::FindWindowCommand(HWND window) {
    if (!rules_) return std::string();
    TWindowFacts facts(window);  // the window's texts are read once, when first compared
    auto find = [&] {
        for (TWindowRule* rule : lookupRules_)
            if (rule->IsEnabled() && rule->MatchFacts(facts)) return rule->CommandText();
        return std::string();
    };
    {
        SrwShared lock(lookupLock_);
        if (lookupTaken_ && lookupVersion_ == rules_->ItemsVersion()) return find();
    }
    SrwExclusive lock(lookupLock_);
    const uint64_t version = rules_->ItemsVersion();
    if (!lookupTaken_ || lookupVersion_ != version) {
        // The collection holds the rules as long as its items stay as they
        // are, which the version tells.
        lookupRules_.clear();
        const int count = rules_->Count();
        for (int i = 0; i < count; ++i)
            if (auto* rule = dynamic_cast<TWindowRule*>(rules_->GetItem(Variant(i)).get())) lookupRules_.push_back(rule);
        lookupVersion_ = version;
        lookupTaken_ = true;
    }
    return find();
}

bool TTarvelWindows::SaveConfiguration(const std::string& fileName) {
    saveError_.clear();
    if (!modified_) return true;
    try {
        // What the configuration writes is kept as a stored tree (the
        // stored rules hand theirs over as they are) and written out as
        // text: a document of the XML service for thousands of rules costs
        // many times more to build and to free. The XML service reads the
        // file back before it replaces the old one.
        Ref<TStoredBuilder> builder = TStoredBuilder::Create("tarvel_windows");
        {
            TRuleSaveScope scope;
            SaveTo(builder.get());
        }
        std::string markup;
        for (const std::string& node : before_) markup += node + "\r\n";
        markup += StoredMarkup(*builder->Freeze().get());
        builder = nullptr;
        for (const std::string& node : after_) markup += node + "\r\n";
        // A file that is rewritten keeps its declaration, and so its encoding.
        SaveXMLText(std::move(markup), ReadXMLDeclaration(fileName), fileName);
    } catch (const std::exception& e) {
        saveError_ = e.what();
        return false;
    }
    modified_ = false;
    unkept_.clear();  // the file holds none of it now
    // A time-out is normal when no command center runs.
    TProcessesCommunication channel(kChannelName);
    int32_t replyCode = 0;
    std::string reply;
    channel.SendCommand(2, std::string(), replyCode, reply);
    return true;
}

TTarvelWindows::~TTarvelWindows() { controller_.reset(); }

void TTarvelWindows::OpenUI() {
    if (controller_) return;
    controller_ = std::make_unique<TEditorController>(*this);
    if (!controller_->Open()) controller_.reset();
}

void TTarvelWindows::RunUI() {
    if (controller_) controller_->Run();
}

void TTarvelWindows::CloseUI() {
    if (!controller_) return;
    controller_->Close();
    controller_.reset();
}

bool TTarvelWindows::UpdateAction(TCommandAction* action) {
    return !(controller_ && controller_->UpdateCommand(*action));
}

bool TTarvelWindows::ExecuteAction(TCommandAction* action) {
    return !(controller_ && controller_->ExecuteCommand(*action));
}

bool TTarvelWindows::Save() { return SaveConfiguration(AppPath + SettingsFileName); }

}  // namespace omb
