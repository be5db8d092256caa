#pragma once
// Running without anybody at the screen, for the virtual-network test rig
// and demonstrations: PELMORA_UNATTENDED=yes (or =no). Off when unset.
//
// - Every modal dialog is answered at once: a question with yes (or no),
//   any other dialog with OK. The question asked and the answer given go to
//   standard error, one line each, as "unattended: ...".
// - Error reports go to standard error instead of a message box.
// - SIGTERM or SIGINT saves the conversation log into the current folder
//   (as the menu's save command does) and closes the window as the user
//   would, answering its question too.

class TTWSChatForm;

// Reads PELMORA_UNATTENDED and, when it is set, sets all of the above up
// for `form`. Returns whether it did.
bool StartUnattended(TTWSChatForm& form);
