#pragma once

// A program on a fake window and a fake downloader, with a temporary program folder.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "app/context.h"
#include "app/program.h"
#include "fake_controls.h"
#include "fake_downloader.h"
#include "test_system.h"

namespace quorvane::test {

// The list of the worked example, with three mirrors of the caller's choice.
std::string exampleList(std::string_view mirror1 = "http://mirror1.test",
                        std::string_view mirror2 = "http://mirror2.test",
                        std::string_view mirror3 = "http://mirror3.test");

class ProgramTest : public ::testing::Test {
  protected:
    ProgramTest();

    // Start-up without the list worker: constants, download folder, icon.
    void prepare();
    // Saves the list (UTF-8 text, stored as GBK like the servers send it) as the program's list
    // file and fills the chooser from it, as an accepted list would.
    void acceptList(std::string_view utf8List);
    // The same for a list of the given bytes.
    void acceptListBytes(std::string_view bytes);
    // Chooses an entry as the user would and presses start.
    void chooseAndStart(int index);
    void tick() { program.onMultiFileTimerTick(); }
    std::string text(Control control) { return ui.text(control); }

    TestSystem system;
    FakeControls ui;
    FakeDownloader downloader;
    Program program{ui, downloader, system};
    Context& c = program.context();
};

}  // namespace quorvane::test
