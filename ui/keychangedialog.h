#pragma once
// TfmKeyChange: a hub showed another key than the one pinned for its
// address. It shows the address and both fingerprints and asks whether to
// take the new key:
//   TfmKeyChange d(window);
//   d.SetKeys(address, pinned, shown);
//   if (d.ShowModal() == mrOk) ...   // accepted: pin it, join
// 「接続しない」 has the focus when it opens (Enter or Space on it refuses);
// Tab reaches 「受け入れて接続」. Escape and the close box refuse too.

#include "modaldialog.h"

class TCuteButton;

// A fingerprint ("3F:A0:...", 32 pairs) as two lines of 16 pairs, for
// reading aloud or comparing by eye.
QString FingerprintLines(const std::string& fingerprint);

class TfmKeyChange : public TModalDialog {
    Q_OBJECT
public:
    explicit TfmKeyChange(QWidget* parent = nullptr);

    // The hub's address and the two fingerprints (ASCII).
    void SetKeys(const std::string& address, const std::string& pinned, const std::string& shown);

    QFrame* Panel1;
    QLabel* Message;           // what happened, with the address
    QLabel* PinnedHeading;     // "前の鍵"
    QLabel* Pinned;            // its fingerprint
    QLabel* ShownHeading;      // "今回の鍵"
    QLabel* Shown;             // its fingerprint
    TCuteButton* RefuseButton; // "接続しない"
    TCuteButton* AcceptButton; // "受け入れて接続"
};
