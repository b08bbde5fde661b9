#pragma once
// The cable editors: modal dialogs over one cable of the live set, each made
// from the current language's template. Every Run* returns 1 after OK (or,
// for the cable list, when anything was changed) and 2 otherwise.
#include <windows.h>

#include "cabledata/cable_set.h"
#include "app/language.h"

// What every editor needs from the shell: the language of its templates and
// message boxes, and the texts of that language.
struct EditorEnv {
  LanguageIndex language;
  TextSource* texts;
};

// The list of the ten cables (106); stores the selected row in
// set.currentCable when it closes.
INT_PTR RunCableListDialog(HWND owner, const EditorEnv& env, CableSet& set);
// One cable's information (105), probe pins (109), pin names (103).
INT_PTR RunCableInfoDialog(HWND owner, const EditorEnv& env, CableRecord& cable);
INT_PTR RunProbeDataDialog(HWND owner, const EditorEnv& env, CableRecord& cable);
INT_PTR RunEditCableDataDialog(HWND owner, const EditorEnv& env, CableRecord& cable);
// Over the pin-name editor's working copy: the row of its selected pin (104)
// and a run of generated names (110).
INT_PTR RunConnectionDialog(HWND owner, const EditorEnv& env, CableRecord& working);
INT_PTR RunConsecutiveNumberDialog(HWND owner, const EditorEnv& env, CableRecord& working);
