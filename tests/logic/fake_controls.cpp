#include "fake_controls.h"

#include "ui/control_rules.h"
#include "ui/window_definition.h"

namespace quorvane::test {

// The controls as the window creates them.
FakeControls::FakeControls() {
    for (const ui::ControlDefinition& definition : ui::windowDefinition()) {
        if (!definition.caption.empty()) texts_[definition.control] = definition.caption;
        disabled_[definition.control] = !definition.enabled;
    }
}

void FakeControls::setText(Control control, std::string_view text) {
    {
        std::lock_guard lock(mutex_);
        texts_[control] = std::string(text);
        history_[control].emplace_back(text);
    }
    ui::afterTextWritten(events_, control);
}

std::string FakeControls::text(Control control) {
    std::lock_guard lock(mutex_);
    if (control == Control::组合框1) {
        return chosen_ >= 0 && chosen_ < static_cast<int>(items_.size()) ? items_[chosen_] : "";
    }
    return texts_[control];
}

void FakeControls::setDisabled(Control control, bool disabled) {
    std::lock_guard lock(mutex_);
    disabled_[control] = disabled;
}

bool FakeControls::isDisabled(Control control) {
    std::lock_guard lock(mutex_);
    return disabled_[control];
}

void FakeControls::addItem(std::string_view text) {
    std::lock_guard lock(mutex_);
    items_.emplace_back(text);
}

void FakeControls::setChosenItem(int index) {
    std::lock_guard lock(mutex_);
    chosen_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
}

int FakeControls::chosenItem() {
    std::lock_guard lock(mutex_);
    return chosen_;
}

void FakeControls::setPosition(int position) {
    std::lock_guard lock(mutex_);
    position_ = position;
}

int FakeControls::position() {
    std::lock_guard lock(mutex_);
    return position_;
}

void FakeControls::showWindow() {
    std::lock_guard lock(mutex_);
    windowShown_ = true;
}

void FakeControls::userHidesWindow() {
    std::lock_guard lock(mutex_);
    windowShown_ = false;
}

void FakeControls::setWindowState(WindowState state) {
    std::lock_guard lock(mutex_);
    windowState_ = state;
}

bool FakeControls::setTrayIcon(std::string_view tip) {
    std::lock_guard lock(mutex_);
    trayShown_ = true;
    trayTip_ = std::string(tip);
    ++trayTipChanges_;
    return true;
}

void FakeControls::removeTrayIcon() {
    std::lock_guard lock(mutex_);
    trayShown_ = false;
}

MessageBoxAnswer FakeControls::messageBox(std::string_view text, std::string_view title,
                                          MessageBoxFlags flags) {
    std::function<void()> action;
    MessageBoxAnswer answer = flags == kYesNoQuestion ? MessageBoxAnswer::no : MessageBoxAnswer::ok;
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back({std::string(text), std::string(title), flags});
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        if (!boxActions_.empty()) {
            action = std::move(boxActions_.front());
            boxActions_.pop_front();
        }
    }
    if (action) action();
    return answer;
}

void FakeControls::queueAnswer(MessageBoxAnswer answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

void FakeControls::whileNextBoxIsOpen(std::function<void()> action) {
    std::lock_guard lock(mutex_);
    boxActions_.push_back(std::move(action));
}

void FakeControls::clearItems() {
    std::lock_guard lock(mutex_);
    items_.clear();
    chosen_ = -1;
}

void FakeControls::userChooses(int index) {
    setChosenItem(index);
    if (events_) events_->applyEntrySettings();
}

std::vector<ShownMessageBox> FakeControls::messageBoxes() {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::string> FakeControls::items() {
    std::lock_guard lock(mutex_);
    return items_;
}

std::vector<std::string> FakeControls::textHistory(Control control) {
    std::lock_guard lock(mutex_);
    return history_[control];
}

bool FakeControls::trayIconShown() {
    std::lock_guard lock(mutex_);
    return trayShown_;
}

std::string FakeControls::trayTip() {
    std::lock_guard lock(mutex_);
    return trayTip_;
}

int FakeControls::trayTipChanges() {
    std::lock_guard lock(mutex_);
    return trayTipChanges_;
}

bool FakeControls::windowShown() {
    std::lock_guard lock(mutex_);
    return windowShown_;
}

WindowState FakeControls::windowState() {
    std::lock_guard lock(mutex_);
    return windowState_;
}

}  // namespace quorvane::test
