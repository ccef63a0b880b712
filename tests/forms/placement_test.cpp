// Form placement on real forms: the values of one save of a form laid out
// like the editor's main window, their order and types, a restore onto a new
// form, failures reported while the form still shows, the rules of the
// placement values, size limits and a fixed size, listed properties and
// stored values, in throwaway registry keys and INI files.
#include "forms/placement.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/placement_values.h"
#include "forms/str_utils.h"
#include "foundation/handles.h"
#include "foundation/winfuncs.h"
#include "tests/forms/forms_test_support.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::forms;
using omb::test::ErrorReports;
using omb::test::PumpUntil;

namespace {

// A throwaway key under HKEY_CURRENT_USER, removed with all it holds.
class TestKey {
public:
    explicit TestKey(const std::string& name)
        : path_("Software\\OmbrelTests\\" + name + "_" + std::to_string(::GetCurrentProcessId())) {
        Remove();
    }
    ~TestKey() {
        Remove();
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OmbrelTests");  // only when empty
    }
    const std::string& Path() const { return path_; }
    bool Exists(const std::string& sub = std::string()) const {
        HKEY key = nullptr;
        const std::string p = sub.empty() ? path_ : path_ + "\\" + sub;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(p).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }
    // Every value of a subkey in enumeration order: name, type, text.
    struct Value {
        std::string name;
        DWORD type;
        std::string text;
    };
    std::vector<Value> Values(const std::string& sub) const {
        std::vector<Value> out;
        UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(path_ + "\\" + sub).c_str(), 0, KEY_READ,
                            key.put()) != ERROR_SUCCESS)
            return out;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLen = 256, type = 0;
            BYTE data[1024];
            DWORD size = sizeof data;
            if (::RegEnumValueW(key.get(), i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS)
                break;
            std::string text;
            if (type == REG_SZ && size >= 2)
                text = Utf8FromWide(reinterpret_cast<const wchar_t*>(data), size / 2 - 1);
            out.push_back({Utf8FromWide(name, nameLen), type, text});
        }
        return out;
    }
    std::string Text(const std::string& sub, const std::string& value) const {
        for (const Value& v : Values(sub))
            if (v.name == value) return v.text;
        return "<missing>";
    }
    void SetText(const std::string& sub, const std::string& value, const std::string& text) {
        const std::wstring w = Utf8ToWide(text);
        SetRaw(sub, value, REG_SZ, w.c_str(), DWORD((w.size() + 1) * sizeof(wchar_t)));
    }
    void SetRaw(const std::string& sub, const std::string& value, DWORD type, const void* data, DWORD size) {
        UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Utf8ToWide(path_ + "\\" + sub).c_str(), 0, nullptr, 0,
                                    KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), Utf8ToWide(value).c_str(), 0, type,
                                   static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }

private:
    void Remove() const { ::RegDeleteTreeW(HKEY_CURRENT_USER, Utf8ToWide(path_).c_str()); }
    std::string path_;
};

// Passes everything to the real store and notes each read and write.
class RecordingStore : public TCustomIniStore {
public:
    RecordingStore(std::unique_ptr<TCustomIniStore> inner, std::vector<std::string>& log)
        : inner_(std::move(inner)), log_(log) {}
    std::string ReadString(const std::string& s, const std::string& i, const std::string& d) override {
        log_.push_back("R " + i);
        return inner_->ReadString(s, i, d);
    }
    void WriteString(const std::string& s, const std::string& i, const std::string& v) override {
        log_.push_back("W " + i);
        inner_->WriteString(s, i, v);
    }
    void EraseSection(const std::string& s) override { inner_->EraseSection(s); }
    bool ValueExists(const std::string& s, const std::string& i) override {
        return inner_->ValueExists(s, i);
    }
    bool SectionExists(const std::string& s) override { return inner_->SectionExists(s); }

private:
    std::unique_ptr<TCustomIniStore> inner_;
    std::vector<std::string>& log_;
};

class RecordingStorage : public TFormStorage {
public:
    using TFormStorage::TFormStorage;
    std::vector<std::string> log;

protected:
    std::unique_ptr<TCustomIniStore> NewStore(bool readOnly) override {
        return std::make_unique<RecordingStore>(TFormStorage::NewStore(readOnly), log);
    }
};

const std::vector<std::string> kListed = {
    "TreeView.Width",       "MenuToolBar.Height",  "MenuToolBar.Left",
    "MenuToolBar.Top",      "MenuToolBar.Width",   "ToolBarToolBar.Top",
    "ToolBarToolBar.Width", "ToolBarToolBar.Left", "ToolBarToolBar.Height"};

// Laid out like the editor's main window.
struct TCBAppForm : TForm {
    TPanel* tree;
    TPanel* bar;
    TPanel* menuBar;
    TPanel* toolBar;
    TEdit* edit;
    TEdit* edit2;
    TFormStorage* storage;
    RecordingStorage* recorder = nullptr;

    // setup runs before the layout is complete (the form's own handlers,
    // other placement properties).
    TCBAppForm(const std::string& key, bool recording = false,
               const std::function<void(TCBAppForm&)>& setup = nullptr)
        : TForm(nullptr) {
        BeginLoading();
        SetName("CBAppForm");
        SetText("Placement test");
        SetBounds(0, 0, 608, 467);
        SetPosition(TPosition::poScreenCenter);
        bar = new TPanel(this);
        bar->SetName("ControlBar");
        bar->SetParent(this);
        bar->SetAlign(TAlign::alTop);
        bar->SetHeight(52);
        menuBar = new TPanel(this);
        menuBar->SetName("MenuToolBar");
        menuBar->SetParent(bar);
        menuBar->SetBounds(11, 2, 300, 22);
        toolBar = new TPanel(this);
        toolBar->SetName("ToolBarToolBar");
        toolBar->SetParent(bar);
        toolBar->SetBounds(11, 28, 250, 22);
        tree = new TPanel(this);
        tree->SetName("TreeView");
        tree->SetParent(this);
        tree->SetAlign(TAlign::alLeft);
        tree->SetWidth(161);
        edit = new TEdit(this);
        edit->SetName("Edit");
        edit->SetParent(this);
        edit->SetBounds(200, 100, 100, 21);
        edit2 = new TEdit(this);
        edit2->SetName("Edit2");
        edit2->SetParent(this);
        edit2->SetBounds(200, 130, 100, 21);
        storage = recording ? (recorder = new RecordingStorage(this)) : new TFormStorage(this);
        storage->SetName("FormStorage");
        storage->SetUseRegistry(true);
        storage->SetStoredProps(kListed);
        if (setup) setup(*this);
        EndLoading();
        storage->SetIniFileName(key);
    }
    const char* ClassName() const override { return "TCBAppForm"; }
};

WINDOWPLACEMENT PlacementOf(TForm& form) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    ::GetWindowPlacement(form.Handle(), &wp);
    return wp;
}

std::string NormText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// Whether the platform reports a maximized position handed to it (Wine 8
// keeps its own).
bool PlatformKeepsMaxPosition() {
    TForm probe(nullptr);
    probe.SetBounds(0, 0, 100, 100);
    WINDOWPLACEMENT wp = PlacementOf(probe);
    wp.showCmd = SW_HIDE;
    wp.ptMaxPosition = {-3, -3};
    ::SetWindowPlacement(probe.Handle(), &wp);
    return PlacementOf(probe).ptMaxPosition.x == -3;
}

struct MainFormScope {
    explicit MainFormScope(TForm* form) { Application().SetMainForm(form); }
    ~MainFormScope() { Application().SetMainForm(nullptr); }
};

}  // namespace

TEST(FormPlacement, DefaultsOfANewPlacement) {
    TForm form(nullptr);
    TFormPlacement onForm(&form);
    TFormPlacement loose(nullptr);
    EXPECT_TRUE(onForm.Active());
    EXPECT_EQ(onForm.Options(), unsigned(fpState | fpPosition));
    EXPECT_EQ(loose.Options(), 0u);
    EXPECT_FALSE(onForm.UseRegistry());
    EXPECT_FALSE(onForm.PreventResize());
    EXPECT_EQ(onForm.RegistryRoot(), TPlacementRegRoot::prCurrentUser);
    EXPECT_EQ(onForm.Version(), 0);
    EXPECT_TRUE(onForm.MinMaxInfo()->DefaultMinMaxInfo());
    EXPECT_EQ(onForm.SectionName(), "TForm");
    EXPECT_EQ(onForm.WindowHook()->WinControl(), nullptr);
    EXPECT_EQ(onForm.CurrentStore(), nullptr);
    std::vector<std::string> names;
    for (const TPropInfo* p : GetPropList(&onForm)) names.push_back(p->name);
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "Active", "IniFileName", "IniSection", "MinMaxInfo",
                                               "Options", "PreventResize", "RegistryRoot", "UseRegistry",
                                               "Version"}));
}

TEST(FormPlacement, OneSaveOfTheMainWindowAndItsRestore) {
    TestKey key("placement_main");
    const std::string suffix = ScreenSizeSuffix();
    RECT normal{};
    {
        TCBAppForm form(key.Path(), true);
        // First run: no values, the designed placement stays (centred), the
        // key is made by the first read.
        form.Show();
        EXPECT_TRUE(key.Exists());
        EXPECT_TRUE(form.storage->Restored());
        EXPECT_EQ(form.Left(), (Screen().Width() - 608) / 2);
        EXPECT_EQ(form.tree->Width(), 161);
        form.SetBounds(33, 44, 640, 480);
        form.tree->SetWidth(200);
        normal = PlacementOf(form).rcNormalPosition;
        form.recorder->log.clear();
        form.Close();
        EXPECT_FALSE(form.Visible());
        EXPECT_TRUE(form.storage->Saved());
        const std::vector<std::string> written = {"W FormVersion",
                                                  "W Flags",
                                                  "W ShowCmd",
                                                  "W PixelsPerInch",
                                                  "W MinMaxPos" + suffix,
                                                  "W MinMaxPos",
                                                  "W NormPos" + suffix,
                                                  "W NormPos",
                                                  "W Visible",
                                                  "W TreeView_Width",
                                                  "W MenuToolBar_Height",
                                                  "W MenuToolBar_Left",
                                                  "W MenuToolBar_Top",
                                                  "W MenuToolBar_Width",
                                                  "W ToolBarToolBar_Top",
                                                  "W ToolBarToolBar_Width",
                                                  "W ToolBarToolBar_Left",
                                                  "W ToolBarToolBar_Height"};
        EXPECT_EQ(form.recorder->log, written);
    }
    // What the registry holds: the same 18 names, all texts.
    const auto values = key.Values("TCBAppForm");
    std::set<std::string> names;
    for (const auto& v : values) {
        names.insert(v.name);
        EXPECT_EQ(v.type, DWORD(REG_SZ)) << v.name;
    }
    EXPECT_EQ(names.size(), 18u);
    EXPECT_EQ(names,
              (std::set<std::string>{"FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos" + suffix,
                                     "MinMaxPos", "NormPos" + suffix, "NormPos", "Visible", "TreeView_Width",
                                     "MenuToolBar_Height", "MenuToolBar_Left", "MenuToolBar_Top",
                                     "MenuToolBar_Width", "ToolBarToolBar_Top", "ToolBarToolBar_Width",
                                     "ToolBarToolBar_Left", "ToolBarToolBar_Height"}));
    EXPECT_EQ(key.Text("TCBAppForm", "FormVersion"), "0");
    EXPECT_EQ(key.Text("TCBAppForm", "ShowCmd"), "1");
    EXPECT_EQ(key.Text("TCBAppForm", "PixelsPerInch"), std::to_string(Screen().PixelsPerInch()));
    EXPECT_EQ(key.Text("TCBAppForm", "NormPos" + suffix), NormText(normal));
    EXPECT_EQ(key.Text("TCBAppForm", "NormPos"), NormText(normal));
    EXPECT_EQ(key.Text("TCBAppForm", "NormPos"), "33,44,673,524");
    EXPECT_EQ(key.Text("TCBAppForm", "MinMaxPos"), key.Text("TCBAppForm", "MinMaxPos" + suffix));
    EXPECT_EQ(key.Text("TCBAppForm", "Visible"), "0");
    EXPECT_EQ(key.Text("TCBAppForm", "TreeView_Width"), "200");
    EXPECT_EQ(key.Text("TCBAppForm", "MenuToolBar_Width"), "300");
    EXPECT_EQ(key.Text("TCBAppForm", "ToolBarToolBar_Top"), "28");

    // A new form shows where the last one was, with its tree's width; the
    // reads come in their order.
    TCBAppForm again(key.Path(), true);
    again.Show();
    EXPECT_EQ(NormText(PlacementOf(again).rcNormalPosition), "33,44,673,524");
    EXPECT_EQ(again.Left(), 33);
    EXPECT_EQ(again.Top(), 44);
    EXPECT_EQ(again.Width(), 640);
    EXPECT_EQ(again.tree->Width(), 200);
    EXPECT_EQ(again.Position(), TPosition::poDesigned);  // centred no more
    const std::vector<std::string> read = {"R FormVersion",          "R Flags",
                                           "R MinMaxPos" + suffix,   "R NormPos" + suffix,
                                           "R PixelsPerInch",        "R ShowCmd",
                                           "R TreeView_Width",       "R MenuToolBar_Height",
                                           "R MenuToolBar_Left",     "R MenuToolBar_Top",
                                           "R MenuToolBar_Width",    "R ToolBarToolBar_Top",
                                           "R ToolBarToolBar_Width", "R ToolBarToolBar_Left",
                                           "R ToolBarToolBar_Height"};
    EXPECT_EQ(again.recorder->log, read);
}

TEST(FormPlacement, FailuresAreReportedAndTheFormStillShowsOrCloses) {
    TestKey key("placement_fail");
    ErrorReports reports;
    const DWORD number = 3;
    key.SetText("TCBAppForm", "NormPos", "10,10,600,400");
    key.SetRaw("TCBAppForm", "Flags", REG_DWORD, &number, sizeof number);
    {
        int ownShows = 0;
        TCBAppForm form(key.Path(), false,
                        [&](TCBAppForm& f) { f.OnShow = [&](TComponent*) { ++ownShows; }; });
        form.storage->OnRestorePlacement = [&](TComponent*) { ADD_FAILURE() << "restore went through"; };
        form.Show();
        EXPECT_TRUE(::IsWindowVisible(form.Handle()));
        EXPECT_EQ(ownShows, 1);
        ASSERT_EQ(reports.messages.size(), 1u);
        EXPECT_NE(reports.messages[0].find("Flags"), std::string::npos) << reports.messages[0];
        EXPECT_EQ(form.storage->CurrentStore(), nullptr);
        // Restored anyway: the close writes what the form has, as text.
        EXPECT_TRUE(form.storage->Restored());
        EXPECT_NE(form.Left(), 10);
        form.Close();
        EXPECT_NE(key.Text("TCBAppForm", "Flags"), "<missing>");
    }
    // Among the listed properties a value of another type only leaves that
    // property unchanged.
    reports.messages.clear();
    key.SetRaw("TCBAppForm", "TreeView_Width", REG_DWORD, &number, sizeof number);
    key.SetText("TCBAppForm", "MenuToolBar_Width", "222");
    test::TempFolder folder;
    {
        TCBAppForm form(key.Path());
        form.Show();
        EXPECT_TRUE(reports.messages.empty());
        EXPECT_EQ(form.tree->Width(), 161);
        EXPECT_EQ(form.menuBar->Width(), 222);
        // A save that fails on close is reported; the form closes.
        form.storage->SetUseRegistry(false);
        form.storage->SetIniFileName(folder.Path("no such folder\\placement.ini"));
        form.Close();
        EXPECT_FALSE(form.Visible());
        EXPECT_EQ(reports.messages.size(), 1u);
    }
}

TEST(FormPlacement, SavesOnlyWhatTheRulesAllow) {
    TestKey key("placement_rules");
    {
        // Closed before it was ever shown: nothing written, nor at its
        // destruction.
        TCBAppForm form(key.Path());
        form.Close();
    }
    EXPECT_TRUE(key.Values("TCBAppForm").empty());
    int queries = 0, destroys = 0;
    {
        // A refused close saves nothing; the destruction then saves with
        // Visible = 1. The form's own handlers run as well.
        TCBAppForm form(key.Path(), false, [&](TCBAppForm& f) {
            f.OnCloseQuery = [&](TComponent*, bool& canClose) {
                ++queries;
                canClose = false;
            };
            f.OnDestroy = [&](TComponent*) { ++destroys; };
        });
        form.Show();
        form.Close();
        EXPECT_EQ(queries, 1);
        EXPECT_TRUE(form.Visible());
        EXPECT_TRUE(key.Values("TCBAppForm").empty());
    }
    EXPECT_EQ(destroys, 1);
    EXPECT_EQ(key.Text("TCBAppForm", "Visible"), "1");
    {
        // An allowed close saves once; the destruction does not save again.
        TCBAppForm form(key.Path(), true);
        form.Show();
        form.Close();
        EXPECT_EQ(key.Text("TCBAppForm", "Visible"), "0");
        form.recorder->log.clear();
        form.storage->OnSavePlacement = [](TComponent*) { ADD_FAILURE() << "saved twice"; };
    }
    // The placement's handlers leave with it: the form's own come back.
    {
        int shows = 0;
        TCBAppForm form(key.Path(), false, [&](TCBAppForm& f) { f.OnShow = [&](TComponent*) { ++shows; }; });
        delete form.storage;
        form.SetPosition(TPosition::poDesigned);
        form.SetBounds(5, 6, 300, 200);
        form.Show();
        EXPECT_EQ(shows, 1);
        EXPECT_EQ(form.Left(), 5);  // nothing restored
    }
}

TEST(FormPlacement, VersionPixelDensityAndScreenSize) {
    TestKey key("placement_version");
    const std::string suffix = ScreenSizeSuffix();
    const std::string ppi = std::to_string(Screen().PixelsPerInch());
    // A raised version restores nothing: placement, listed properties,
    // values, active control; the next close writes the new version.
    key.SetText("TCBAppForm", "FormVersion", "1");
    key.SetText("TCBAppForm", "NormPos", "20,30,700,530");
    key.SetText("TCBAppForm", "TreeView_Width", "250");
    key.SetText("TCBAppForm", "Note", "stored");
    key.SetText("TCBAppForm", "ActiveControl", "Edit2");
    {
        TCBAppForm form(key.Path(), false, [](TCBAppForm& f) {
            f.storage->SetVersion(2);
            f.storage->SetOptions(fpState | fpPosition | fpActiveControl);
            f.storage->StoredValues().Add()->SetName("Note");
        });
        form.storage->StoredValues().Value(0)->SetValueText("mine");
        form.Show();
        EXPECT_EQ(form.Left(), (Screen().Width() - 608) / 2);
        EXPECT_EQ(form.tree->Width(), 161);
        EXPECT_EQ(form.storage->StoredValues().Value(0)->ValueText(), "mine");
        EXPECT_NE(form.ActiveControl(), form.edit2);
        EXPECT_TRUE(form.storage->Restored());
        form.Close();
        EXPECT_EQ(key.Text("TCBAppForm", "FormVersion"), "2");
        EXPECT_EQ(key.Text("TCBAppForm", "Note"), "mine");
    }
    // Version passed: everything comes back, the active control too.
    key.SetText("TCBAppForm", "NormPos", "20,30,700,530");
    key.SetText("TCBAppForm", "NormPos" + suffix, "");
    key.SetText("TCBAppForm", "TreeView_Width", "250");
    key.SetText("TCBAppForm", "ActiveControl", "Edit2");
    {
        TCBAppForm form(key.Path(), false, [](TCBAppForm& f) {
            f.storage->SetVersion(2);
            f.storage->SetOptions(fpState | fpPosition | fpActiveControl);
        });
        form.Show();
        // Only the plain value exists for this screen size: it is used.
        EXPECT_EQ(NormText(PlacementOf(form).rcNormalPosition), "20,30,700,530");
        EXPECT_EQ(form.tree->Width(), 250);
        EXPECT_EQ(form.ActiveControl(), form.edit2);
        form.Close();
        EXPECT_EQ(key.Text("TCBAppForm", "ActiveControl"), "Edit2");
    }
    // Another pixel density: no position or size, but the state.
    key.SetText("TCBAppForm", "PixelsPerInch", std::to_string(Screen().PixelsPerInch() + 24));
    key.SetText("TCBAppForm", "NormPos" + suffix, "40,50,500,400");
    key.SetText("TCBAppForm", "ShowCmd", "3");
    {
        TCBAppForm form(key.Path());
        form.storage->SetVersion(2);
        form.Show();
        EXPECT_EQ(PlacementOf(form).rcNormalPosition.left, (Screen().Width() - 608) / 2);
        EXPECT_TRUE(::IsZoomed(form.Handle()));
    }
}

TEST(FormPlacement, StatesComeBack) {
    TestKey key("placement_state");
    {
        // Saved maximized, reopened maximized.
        TCBAppForm form(key.Path());
        form.Show();
        form.SetWindowState(TWindowState::wsMaximized);
        form.Close();
        EXPECT_EQ(key.Text("TCBAppForm", "ShowCmd"), "3");
    }
    {
        TCBAppForm form(key.Path());
        form.Show();
        EXPECT_TRUE(::IsZoomed(form.Handle()));
        EXPECT_EQ(form.WindowState(), TWindowState::wsMaximized);
    }
    // A main window saved minimized opens normal, then the application
    // minimizes it.
    key.SetText("TCBAppForm", "ShowCmd", "2");
    {
        TCBAppForm form(key.Path());
        MainFormScope main(&form);
        form.Show();
        EXPECT_FALSE(::IsZoomed(form.Handle()));
        EXPECT_TRUE(::IsWindowVisible(form.Handle()));
        EXPECT_TRUE(PumpUntil([&] { return ::IsIconic(form.Handle()) != FALSE; }));
    }
}

TEST(PlacementValues, ReadRulesOnARealForm) {
    test::TempFolder folder;
    struct Case {
        const char* name;
        TFormBorderStyle border;
        const char* normPos;  // nullptr: none stored
        const char* showCmd;
        const char* expectedNorm;  // the placement's normal rectangle after the read
        TWindowState state;
    };
    // The form: 100,100 at 400 x 300 (right 500, bottom 400).
    const std::vector<Case> cases = {
        {"two numbers", TFormBorderStyle::bsSizeable, "100 50", "1", "100,50,500,400",
         TWindowState::wsNormal},
        {"right not past left", TFormBorderStyle::bsSizeable, "300,20,300,500", "3", "100,100,500,400",
         TWindowState::wsMaximized},
        {"fixed border keeps its size", TFormBorderStyle::bsSingle, "10,20,900,800", "1", "10,20,410,320",
         TWindowState::wsNormal},
        {"dialog keeps its size", TFormBorderStyle::bsDialog, "10,20,30,40", "1", "10,20,410,320",
         TWindowState::wsNormal},
        {"not numbers keep the current", TFormBorderStyle::bsSizeable, "x,y,600,z", "5", "100,100,600,400",
         TWindowState::wsNormal},
        {"show command 0 gives the default", TFormBorderStyle::bsSizeable, nullptr, "0", "100,100,500,400",
         TWindowState::wsNormal},
        {"show command 4 gives the default", TFormBorderStyle::bsSizeable, nullptr, "4", "100,100,500,400",
         TWindowState::wsNormal},
        {"show command 6 minimizes", TFormBorderStyle::bsSizeable, nullptr, "6", "100,100,500,400",
         TWindowState::wsMinimized},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIniFile ini(folder.Path(std::string(c.name) + ".ini"));
        if (c.normPos) ini.WriteString("S", "NormPos", c.normPos);
        ini.WriteString("S", "ShowCmd", c.showCmd);
        TForm form(nullptr);
        TForm other(nullptr);
        MainFormScope main(&other);  // not the main form: states apply as they are
        form.SetBorderStyle(c.border);
        form.SetBounds(100, 100, 400, 300);
        form.HandleNeeded();
        RestoreFormPlacementFromIni(&form, &ini, "S", true, true);
        EXPECT_EQ(NormText(PlacementOf(form).rcNormalPosition), c.expectedNorm);
        EXPECT_EQ(form.WindowState(), c.state);
    }
    // A centred main form with show command 0 stays normal; neither part
    // asked for reads nothing.
    TIniFile ini(folder.Path("centred.ini"));
    ini.WriteString("S", "ShowCmd", "0");
    TForm form(nullptr);
    form.SetPosition(TPosition::poScreenCenter);
    MainFormScope main(&form);
    RestoreFormPlacementFromIni(&form, &ini, "S", true, true);
    EXPECT_EQ(form.WindowState(), TWindowState::wsNormal);
    EXPECT_EQ(form.Position(), TPosition::poScreenCenter);  // no position was read
    TForm poDefault(nullptr);
    poDefault.SetPosition(TPosition::poDefault);
    Application().SetMainForm(&poDefault);
    RestoreFormPlacementFromIni(&poDefault, &ini, "S", true, false);
    EXPECT_EQ(poDefault.WindowState(), TWindowState::wsMaximized);
}

TEST(PlacementValues, NegativeCoordinatesAndIniTextsKeepTheirForm) {
    test::TempFolder folder;
    TIniFile ini(folder.Path("neg.ini"));
    TForm form(nullptr);
    form.SetBounds(-30, -20, 300, 200);
    form.HandleNeeded();
    const WINDOWPLACEMENT wp = PlacementOf(form);
    StoreFormPlacementToIni(&form, &ini, "S");
    const std::string minMax = std::to_string(wp.ptMinPosition.x) + "," + std::to_string(wp.ptMinPosition.y) +
                               "," + std::to_string(wp.ptMaxPosition.x) + "," +
                               std::to_string(wp.ptMaxPosition.y);
    EXPECT_EQ(ini.ReadString("S", "MinMaxPos", ""), minMax);
    EXPECT_EQ(ini.ReadString("S", "MinMaxPos" + ScreenSizeSuffix(), ""), minMax);
    EXPECT_EQ(ini.ReadString("S", "NormPos", ""), "-30,-20,270,180");
    EXPECT_EQ(ini.ReadString("S", "Flags", ""), std::to_string(wp.flags));
    TForm back(nullptr);
    back.SetBounds(0, 0, 300, 200);
    back.HandleNeeded();
    RestoreFormPlacementFromIni(&back, &ini, "S", false, true);
    EXPECT_EQ(NormText(PlacementOf(back).rcNormalPosition), "-30,-20,270,180");
    EXPECT_EQ(back.Left(), -30);
    // A text in single quotes comes back with them through the placement.
    TFormPlacement placement(&form);
    placement.SetIniFileName(folder.Path("quotes.ini"));
    placement.WriteSectionString("Q", "'x'");
    EXPECT_EQ(placement.ReadSectionString("Q", ""), "'x'");
    EXPECT_EQ(placement.CurrentStore(), nullptr);
}

TEST(PlacementValues, SectionNames) {
    TCBAppForm form("unused");
    TComponent plain(nullptr);
    plain.SetName("Plain");
    TPanel loose(nullptr);
    loose.SetName("Loose");
    TPanel parent(nullptr);
    parent.SetName("Outer");
    TPanel child(nullptr);
    child.SetName("Inner");
    child.SetParent(&parent);
    EXPECT_EQ(ComponentSectionName(nullptr), "");
    EXPECT_EQ(ComponentSectionName(&form), "TCBAppForm");
    EXPECT_EQ(ComponentSectionName(form.tree), "TCBAppFormTreeView");
    EXPECT_EQ(ComponentSectionName(form.menuBar), "TCBAppFormMenuToolBar");
    EXPECT_EQ(ComponentSectionName(form.storage), "TCBAppForm.FormStorage");
    EXPECT_EQ(ComponentSectionName(&plain), "Plain");
    EXPECT_EQ(ComponentSectionName(&loose), "Loose");
    EXPECT_EQ(ComponentSectionName(&child), "OuterInner");
    EXPECT_EQ(form.storage->SectionName(), "TCBAppForm");
    child.SetParent(nullptr);
    // Forms are found by name among the open ones.
    EXPECT_EQ(FindFormByName("cbappform"), &form);
    EXPECT_EQ(FindFormByName("Nothing"), nullptr);
}

TEST(FormPlacement, IniFileStoreAndTheListedEntries) {
    test::TempFolder folder;
    const std::string file = folder.Path("placement.ini");
    {
        TCBAppForm form(file, false, [](TCBAppForm& f) {
            f.storage->SetUseRegistry(false);
            f.storage->SetStoredProps(
                std::vector<std::string>{"TreeView.Width", "Missing.Width", "NoDot", "MenuToolBar.Height"});
        });
        // Entries whose component is missing leave at loading.
        std::vector<std::string> entries;
        for (const auto& e : form.storage->StoredProps()) entries.push_back(e.text);
        EXPECT_EQ(entries, (std::vector<std::string>{"TreeView.Width", "MenuToolBar.Height"}));
        // A removed component takes its entries with it.
        delete form.menuBar;
        form.menuBar = nullptr;
        ASSERT_EQ(form.storage->StoredProps().size(), 1u);
        form.Show();
        form.SetBounds(70, 80, 500, 400);
        form.tree->SetWidth(123);
        form.Close();
    }
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("TCBAppForm", "TreeView_Width", ""), "123");
    EXPECT_EQ(ini.ReadString("TCBAppForm", "MenuToolBar_Height", "none"), "none");
    EXPECT_EQ(ini.ReadString("TCBAppForm", "NormPos", ""), "70,80,570,480");
    TCBAppForm form(file, false, [](TCBAppForm& f) { f.storage->SetUseRegistry(false); });
    form.Show();
    EXPECT_EQ(form.Left(), 70);
    EXPECT_EQ(form.tree->Width(), 123);
}

TEST(FormPlacement, StoredValues) {
    TestKey key("placement_values");
    TCBAppForm form(key.Path(), false, [](TCBAppForm& f) {
        auto& values = f.storage->StoredValues();
        values.Add()->SetName("Plain");
        values.Add()->SetName("Secret");
        values.Value(1)->SetKeyString("k3y");
    });
    auto& values = form.storage->StoredValues();
    EXPECT_EQ(values.FindValueIndex("SECRET"), 1);
    EXPECT_EQ(values.FindValueIndex("none"), -1);
    // Names are unique without regard to case; a change of case is allowed.
    try {
        values.Value(0)->SetName("secret");
        ADD_FAILURE() << "duplicate accepted";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "String list does not allow duplicates");
    }
    values.Value(1)->SetName("SECRET");
    values.Value(1)->SetName("Secret");
    EXPECT_EQ(values.Value(0)->DisplayName(), "Plain");
    EXPECT_EQ(values.Add()->DisplayName(), "TStoredValue");
    values.Delete(2);

    form.Show();
    values.Value(0)->SetValueText("hello");
    values.Value(0)->OnSave = [](TStoredValue*, TStoredVariant& v) { v = *v + "!"; };
    values.Value(1)->SetValueText("pass word");
    form.Close();
    EXPECT_EQ(values.Value(0)->ValueText(), "hello");  // the copy was changed, not the value
    EXPECT_EQ(key.Text("TCBAppForm", "Plain"), "hello!");
    EXPECT_EQ(key.Text("TCBAppForm", "Secret"), StrToXorHex("k3y", "pass word"));

    TCBAppForm again(key.Path(), false, [](TCBAppForm& f) {
        f.storage->StoredValues().Add()->SetName("Plain");
        f.storage->StoredValues().Add()->SetName("Secret");
        f.storage->StoredValues().Value(1)->SetKeyString("k3y");
        f.storage->StoredValues().Value(0)->OnRestore = [](TStoredValue*, TStoredVariant& v) {
            v = "[" + *v + "]";
        };
    });
    again.Show();
    EXPECT_EQ(again.storage->StoredValues().Value(0)->ValueText(), "[hello!]");
    EXPECT_EQ(again.storage->StoredValues().Value(1)->ValueText(), "pass word");
    // Copies of the collection copy name, value and key.
    TStoredValues copy(nullptr);
    copy.Assign(again.storage->StoredValues());
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.Value(1)->KeyString(), "k3y");
    EXPECT_EQ(copy.Value(1)->ValueText(), "pass word");
}

TEST(FormPlacement, FixedSizeAndLimits) {
    TestKey key("placement_fixed");
    TCBAppForm form(key.Path(), false, [](TCBAppForm& f) { f.storage->SetPreventResize(true); });
    HWND h = form.Handle();
    EXPECT_EQ(form.storage->WindowHook()->WinControl(), &form);
    EXPECT_EQ(form.BorderIcons() & biMaximize, 0u);
    EXPECT_EQ(::GetWindowLongPtrW(h, GWL_STYLE) & WS_MAXIMIZEBOX, 0);
    form.Show();
    RECT r;
    ::GetWindowRect(h, &r);
    // The sizing borders are nowhere.
    const LRESULT edge = ::SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(r.right - 1, (r.top + r.bottom) / 2));
    EXPECT_EQ(edge, HTNOWHERE);
    const LRESULT inside =
        ::SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    EXPECT_EQ(inside, HTCLIENT);
    MINMAXINFO info{};
    ::SendMessageW(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, form.Width());
    EXPECT_EQ(info.ptMaxTrackSize.y, form.Height());
    // The system menu's Size and Maximize are greyed when it opens.
    HMENU menu = ::GetSystemMenu(h, FALSE);
    ASSERT_NE(menu, nullptr);
    ::SendMessageW(h, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
    EXPECT_TRUE(::GetMenuState(menu, SC_SIZE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(::GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    // Switched off: the icon comes back, the hook leaves.
    form.storage->SetPreventResize(false);
    EXPECT_NE(form.BorderIcons() & biMaximize, 0u);
    EXPECT_EQ(form.storage->WindowHook()->WinControl(), nullptr);
    EXPECT_NE(::SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(r.right - 1, (r.top + r.bottom) / 2)), HTNOWHERE);
    // With no limit set, the maximized position is minus the sizing frame.
    form.storage->SaveToStore();
    form.storage->RestoreFromStore();
    if (PlatformKeepsMaxPosition()) {
        WINDOWPLACEMENT wp = PlacementOf(form);
        EXPECT_EQ(wp.ptMaxPosition.x, -::GetSystemMetrics(SM_CXFRAME));
        EXPECT_EQ(wp.ptMaxPosition.y, -::GetSystemMetrics(SM_CYFRAME));
    }
    // Limits: each non-zero one replaces its field.
    form.storage->MinMaxInfo()->SetMinTrackWidth(321);
    form.storage->MinMaxInfo()->SetMaxPosTop(7);
    EXPECT_EQ(form.storage->WindowHook()->WinControl(), &form);
    MINMAXINFO limits{};
    limits.ptMaxTrackSize = {9999, 9999};
    ::SendMessageW(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, 321);
    EXPECT_EQ(limits.ptMaxPosition.y, 7);
    EXPECT_GT(limits.ptMaxTrackSize.x, 0);
    TWinMinMaxInfo none(nullptr);
    form.storage->SetMinMaxInfo(none);
    EXPECT_EQ(form.storage->WindowHook()->WinControl(), nullptr);
}

TEST(FormPlacement, MaximizedPositionByBorderStyle) {
    if (!PlatformKeepsMaxPosition()) GTEST_SKIP() << "the platform does not report a maximized position set";
    struct Case {
        TFormBorderStyle border;
        int cx, cy;
    };
    const std::vector<Case> cases = {
        {TFormBorderStyle::bsSingle, ::GetSystemMetrics(SM_CXBORDER), ::GetSystemMetrics(SM_CYBORDER)},
        {TFormBorderStyle::bsToolWindow, ::GetSystemMetrics(SM_CXBORDER), ::GetSystemMetrics(SM_CYBORDER)},
        {TFormBorderStyle::bsSizeToolWin, ::GetSystemMetrics(SM_CXFRAME), ::GetSystemMetrics(SM_CYFRAME)},
        {TFormBorderStyle::bsDialog, ::GetSystemMetrics(SM_CXDLGFRAME), ::GetSystemMetrics(SM_CYDLGFRAME)},
        {TFormBorderStyle::bsNone, 0, 0},
    };
    test::TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.border));
        TForm form(nullptr);
        form.SetBorderStyle(c.border);
        form.SetBounds(10, 10, 200, 150);
        form.HandleNeeded();
        TFormPlacement placement(&form);
        placement.SetIniFileName(folder.Path("border.ini"));
        placement.RestoreFromStore();
        const WINDOWPLACEMENT wp = PlacementOf(form);
        EXPECT_EQ(wp.ptMaxPosition.x, -c.cx);
        EXPECT_EQ(wp.ptMaxPosition.y, -c.cy);
    }
}
