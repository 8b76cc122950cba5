#pragma once

// A window without a display: records what the program does to the controls and answers message
// boxes from a script. Starts with the window's table of controls and follows the window's event
// rules (ui/controls.h).

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/window_events.h"

namespace quorvane::test {

struct ShownMessageBox {
    std::string text;
    std::string title;
    MessageBoxFlags flags = kInformation;
};

class FakeControls final : public Controls {
  public:
    FakeControls();

    void attach(WindowEvents* events) { events_ = events; }

    void setText(Control control, std::string_view text) override;
    std::string text(Control control) override;
    void setDisabled(Control control, bool disabled) override;
    bool isDisabled(Control control) override;
    void addItem(std::string_view text) override;
    void setChosenItem(int index) override;
    int chosenItem() override;
    void setPosition(int position) override;
    int position() override;
    void showWindow() override;
    void setWindowState(WindowState state) override;
    bool setTrayIcon(std::string_view tip) override;
    void removeTrayIcon() override;
    MessageBoxAnswer messageBox(std::string_view text, std::string_view title,
                                MessageBoxFlags flags) override;

    // Script: the answers the next message boxes get, in order; without one, No (or OK).
    void queueAnswer(MessageBoxAnswer answer);
    // Runs while the next message box is open, as the window's events would.
    void whileNextBoxIsOpen(std::function<void()> action);

    // Empties 组合框1, which the program itself never does.
    void clearItems();
    // The user picks an item of 组合框1.
    void userChooses(int index);
    // The user hides the window (to the notification area).
    void userHidesWindow();

    std::vector<ShownMessageBox> messageBoxes();
    std::vector<std::string> items();
    // Every text written to the control, oldest first.
    std::vector<std::string> textHistory(Control control);
    bool trayIconShown();
    std::string trayTip();
    int trayTipChanges();
    bool windowShown();
    WindowState windowState();

  private:
    std::mutex mutex_;
    WindowEvents* events_ = nullptr;
    std::map<Control, std::string> texts_;
    std::map<Control, std::vector<std::string>> history_;
    std::map<Control, bool> disabled_;
    std::vector<std::string> items_;
    int chosen_ = -1;
    int position_ = 0;
    bool windowShown_ = true;
    WindowState windowState_ = WindowState::normal;
    bool trayShown_ = false;
    std::string trayTip_;
    int trayTipChanges_ = 0;
    std::deque<MessageBoxAnswer> answers_;
    std::deque<std::function<void()>> boxActions_;
    std::vector<ShownMessageBox> boxes_;
};

}  // namespace quorvane::test
