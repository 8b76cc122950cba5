#include "program_fixture.h"

#include <fstream>

#include "app/startup.h"
#include "list/list_presentation.h"
#include "platform/gbk_text.h"

namespace quorvane::test {

std::string exampleList(std::string_view mirror1, std::string_view mirror2,
                        std::string_view mirror3) {
    std::string list =
        "[Down]\r\nDown=True\r\n[Files]\r\nNum=3\r\n[Name]\r\n"
        "Name1=Quorvane客户端(网通下载)\r\nName2=Quorvane客户端(联通下载)\r\n"
        "Name3=Quorvane客户端第一部分(电信下载)\r\n[Add]\r\n";
    list += "Add1=" + std::string(mirror1) + "/dl/client.rar\r\n";
    list += "Add2=" + std::string(mirror2) + "/dl/client.rar\r\n";
    list += "Add3=" + std::string(mirror3) + "/dl/client.part1.rar\r\n";
    list += "[LineOne]\r\nNum=1\r\nLineOne1=2\r\n";
    return list;
}

ProgramTest::ProgramTest() {
    ui.attach(&program);
}

void ProgramTest::prepare() {
    prepareStartUp(c);
}

void ProgramTest::acceptList(std::string_view utf8List) {
    acceptListBytes(platform::utf8ToGbk(utf8List));
}

void ProgramTest::acceptListBytes(std::string_view bytes) {
    // A new file each time: the program never sees a saved list change.
    static int listNumber = 0;
    c.g.listFilePath = system.root() / ("accepted-list-" + std::to_string(++listNumber) + ".ini");
    ui.clearItems();
    std::ofstream(c.g.listFilePath, std::ios::binary) << bytes;
    ui.setDisabled(Control::组合框1, false);
    fillFileChooser(c);
}

void ProgramTest::chooseAndStart(int index) {
    ui.userChooses(index);
    program.composeDownloadQueue();
}

}  // namespace quorvane::test
