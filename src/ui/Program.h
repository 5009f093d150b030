// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ReportTransport.h"
#include "link/Unit9.h"
#include "model/ControlMap.h"
#include "model/Language.h"
#include "model/ModelState.h"
#include "model/ParamStore.h"
#include "presets/PresetFlow.h"
#include "ui/CaretRest.h"
#include "ui/EqFileMenu.h"
#include "ui/QtDialogs.h"
#include "ui/EqGraph.h"
#include "ui/Unit1.h"
#include "ui/Unit14.h"
#include "ui/Unit4.h"

#include <memory>

namespace tr640 {

// The program: everything that exists once for the whole run (the parameter
// store, the control map, the windows' shared state, the language, the
// dialog seam, the preset flows) and the four windows, created in their
// fixed order. A test builds a fresh one for every case; the executables
// build exactly one.
//
// The link's backend is the creator's: the program passes the hidraw
// platform and the demo the virtual HID bus (the link window then owns the
// device controller and follows devices coming and going); single-threaded
// tests pass a transport straight to a virtual device.
class Program {
public:
    // `dialogs` answers every modal box; null means the real boxes.
    // `language` is the run's language (Translate's numbers), fixed for the
    // whole run: the windows are built in it.
    explicit Program(LinkBackend backend, std::unique_ptr<Dialogs> dialogs = nullptr,
                     int language = kLanguageChinese);
    ~Program();

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Shows the main window, the only window shown at start; its first
    // showing builds the control map and fills every control.
    void Start();
    // Start, then the message loop until the main window closes.
    int Run();

    ParamStore& store() { return store_; }
    ControlMap& controlMap() { return controlMap_; }
    ModelState& state() { return state_; }
    int& language() { return language_; }
    Dialogs& dialogs() { return *dialogs_; }

    TForm1& mainWindow() { return mainWindow_; }
    TForm9& linkWindow() { return linkWindow_; }
    TForm4& statusWindow() { return statusWindow_; }
    TForm14& compressorWindow() { return compressorWindow_; }
    EqGraph& eqGraph() { return eqGraph_; }
    EqFileMenu& eqFileMenu() { return eqFileMenu_; }
    CaretRest& caretRest() { return caretRest_; }
    UnitSession& session() { return linkWindow_.session(); }
    Link& link() { return linkWindow_.link(); }

private:
    void AfterTransfer();
    QString AboutText();

    ParamStore store_;
    ControlMap controlMap_;
    ModelState state_;
    int language_;
    std::unique_ptr<Dialogs> dialogs_;

    // The windows, in the order they are created (declaration order). The
    // link window keeps a reference to the status window, which comes after
    // it; the link uses it only once the program runs.
    TForm1 mainWindow_;
    TForm9 linkWindow_;
    TForm4 statusWindow_;
    TForm14 compressorWindow_;

    PresetFlow presets_;
    // The shown values as they were before the compressor window's apply.
    ParamStore curveBefore_;
    // The values shown when a load began: its undo step goes back to them.
    ParamStore loadBefore_;
    EqGraph eqGraph_{mainWindow_};
    EqFileMenu eqFileMenu_{mainWindow_, language_};
    CaretRest caretRest_;
};

}  // namespace tr640
