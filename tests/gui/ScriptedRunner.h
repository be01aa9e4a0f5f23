#pragma once
// A dialog runner for tests: each run prepares the dialog as opening it would,
// notes whether OK is enabled, and hands it to the next scripted step, which fills fields
// and presses OK (OnOK) or Cancel. With no step left the dialog is cancelled.

#include <QLineEdit>
#include <QPushButton>
#include <deque>
#include <functional>

#include "dialogs/DialogRunner.h"
#include "dialogs/EntryDialog.h"

class ScriptedRunner : public DialogRunner {
  public:
    using Step = std::function<void(CEntryDialog&)>;

    int Run(CEntryDialog& dialog) override {
        dialog.OnInitDialog();
        okEnabled.push_back(dialog.OkButton()->isEnabled());
        if (steps.empty()) return QDialog::Rejected;
        Step step = std::move(steps.front());
        steps.pop_front();
        step(dialog);
        return dialog.result();
    }

    // Steps: type into the label, then press OK; or press Cancel.
    template <class Dialog>
    void Then(std::function<void(Dialog&)> fill) {
        steps.push_back([fill](CEntryDialog& d) {
            auto* typed = dynamic_cast<Dialog*>(&d);
            if (!typed) return;  // another dialog than expected: cancelled
            fill(*typed);
            typed->OnOK();
        });
    }
    void Cancel() {
        steps.push_back([](CEntryDialog& d) { d.reject(); });
    }

    std::deque<Step> steps;
    std::vector<bool> okEnabled;
};
