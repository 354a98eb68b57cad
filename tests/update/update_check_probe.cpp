// A small program that runs one update check the way the main window's version link does, with the message boxes
// answered from its arguments ("yes" or "no" for each Yes/No question, in order), and prints what the user would
// have seen as JSON: the message boxes, the status log and the version link's history. It exits with 3 when the
// check returned; an installed update ends it inside the check with 0 instead.

#include "platform/ui/layout.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "tests/support/scripted_toolkit.h"
#include "update/update_check.h"
#include "util/process_values.h"

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

int main(int argc, char** argv) {
    testsupport::ScriptedToolkit& toolkit = testsupport::installScriptedToolkit();
    for (int i = 1; i < argc; ++i)
        toolkit.queueAnswer(std::string(argv[i]) == "yes" ? ui::kAnswerYes : ui::kAnswerNo);

    ui::WindowSpec spec;
    spec.name = "MainWindow";
    spec.title = "Corvana";
    ui::ControlSpec link;
    link.kind = ui::ControlKind::Hyperlink;
    link.name = update::kVersionLinkControl;
    link.text = "v";
    ui::ControlSpec log;
    log.kind = ui::ControlKind::EditBox;
    log.name = util::kStatusLogControl;
    log.multiline = true;
    log.readOnly = true;
    spec.controls = {link, log};
    const auto window = std::make_shared<ui::Window>(spec);
    toolkit.realize(window);
    util::setMainWindow(window);

    update::updateCheck();

    nlohmann::json report;
    report["boxes"] = nlohmann::json::array();
    for (const ui::MessageBoxRequest& box : toolkit.messageBoxes())
        report["boxes"].push_back(
            {{"text", box.text}, {"style", box.style}, {"title", box.title}, {"owner", box.owner}});
    report["log"] = window->text(util::kStatusLogControl);
    report["link"] = {{"text", window->text(update::kVersionLinkControl)},
                      {"disabled", window->disabled(update::kVersionLinkControl)}};
    report["linkHistory"] = nlohmann::json::array();
    for (const ui::Change& change : toolkit.changes(spec.name)) {
        if (change.control != update::kVersionLinkControl)
            continue;
        if (change.kind == ui::Change::Kind::Text)
            report["linkHistory"].push_back("text " + change.text);
        else if (change.kind == ui::Change::Kind::Disabled)
            report["linkHistory"].push_back(change.value != 0 ? "disabled" : "enabled");
    }
    std::cout << report.dump() << std::endl;
    util::setMainWindow(nullptr);
    return 3;
}
