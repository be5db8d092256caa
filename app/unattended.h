#pragma once
// Running without anybody at the screen, for the virtual-network test rig
// and demonstrations: PELMORA_UNATTENDED=yes (or =no). Off when unset.
//
// - Every modal dialog is answered at once: a question with yes (or no),
//   any other dialog with OK. The question asked and the answer given go to
//   standard error, one line each, as "unattended: ...".
// - Error reports go to standard error instead of a message box.
// - At the end of the session (SIGTERM, SIGINT, SIGHUP) the conversation
//   log is saved into the current folder, as the menu's save command does,
//   before the window closes (main.cpp calls SaveLogUnattended).

class TTWSChatForm;

// Reads PELMORA_UNATTENDED and, when it is set, sets all of the above up
// for `form`. Returns whether it did.
bool StartUnattended(TTWSChatForm& form);
// Saves the log and says so on standard error; a failure is reported, not
// thrown, so the session still ends.
void SaveLogUnattended(TTWSChatForm& form);
