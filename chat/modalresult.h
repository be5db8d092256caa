#pragma once
// The answer of a modal dialog: how the chat reads a question's or the
// connect dialog's answer, and what the dialogs return.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrNo = 7 };
