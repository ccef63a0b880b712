// The application object: the main form, the title, the screen, the error
// report, and the idle pass that updates the commands' states.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace omb::forms {

class TForm;

struct TScreen {
    int Width() const { return ::GetSystemMetrics(SM_CXSCREEN); }
    int Height() const { return ::GetSystemMetrics(SM_CYSCREEN); }
    // The screen's pixels per inch, or the value set for it.
    int PixelsPerInch() const;
    // Lays out what is made afterwards as on a screen of that many pixels
    // per inch (tests simulate another screen); 0 returns to the system's.
    void SetPixelsPerInch(int value) { pixelsPerInch_ = value > 0 ? value : 0; }
    // Every form that exists, in creation order.
    const std::vector<TForm*>& Forms() const { return forms_; }

private:
    friend class TForm;
    std::vector<TForm*> forms_;
    int pixelsPerInch_ = 0;
};

class TApplication {
public:
    TForm* MainForm() const { return mainForm_; }
    void SetMainForm(TForm* form) { mainForm_ = form; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }
    bool Terminated() const { return terminated_; }
    void Terminate() { terminated_ = true; }

    // The error report: a message box with the failure's text, over the
    // active form. Called from every catch at a system callback's boundary.
    void HandleException(std::exception_ptr failure) noexcept;
    // Replaces the report (tests use this); an empty one restores the box.
    std::function<void(const std::string& message)> OnException;

    // Runs when the queue is empty, and at least every 500 ms while a
    // modal loop runs: the commands update their states here.
    std::vector<std::function<void()>> idleHandlers;
    void DoIdle() noexcept;
    // Handles every waiting message, then returns.
    void ProcessMessages();
    // Minimizes the main form (a stored placement may ask for it).
    void Minimize();
    // A message box titled with the application title.
    int MessageBox(const std::string& text, const std::string& caption, UINT flags);

    HINSTANCE Instance() const { return ::GetModuleHandleW(nullptr); }
    // The program's icon at the two sizes windows show (title bar and
    // task bar, Alt+Tab): every form's window takes them when it is made.
    // Borrowed: icons loaded shared from the program's resources.
    void SetIcons(HICON large, HICON small) {
        largeIcon_ = large;
        smallIcon_ = small;
    }
    HICON LargeIcon() const { return largeIcon_; }
    HICON SmallIcon() const { return smallIcon_; }

private:
    TForm* mainForm_ = nullptr;
    HICON largeIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::string title_;
    bool terminated_ = false;
};

TApplication& Application();
TScreen& Screen();
// Design pixels (96 per inch) at the screen's pixels per inch: for the
// sizes a layout built at run time takes from constants.
int Scaled(int designPixels);

// Pre-translation of one message of a message loop: short-cuts, Alt+letter
// and dialog navigation of the active form. True when it was consumed.
bool PreTranslateMessage(MSG& msg);

}  // namespace omb::forms
