#pragma once
// Where a chat core listens and who it says it is, read from the environment
// by the window and by the headless hub alike (Qt Core only).

#include <string>

struct TChatPlace {
    std::string listenAddr = "0.0.0.0";
    std::string port = "2200";
    // Empty: the own-address component's SelfIPAddress.
    std::string ownAddr;
    // The chat core offers and accepts encrypted links unless
    // PELMORA_ENCRYPT=0 asks for a plain instance.
    bool encrypt = true;

    // PELMORA_ADDRESS=127.0.0.N listens on, reports and connects from that
    // address; PELMORA_PORT=P replaces port 2200. Unset, nothing changes.
    static TChatPlace FromEnvironment();

    // The same two settings from elsewhere (the command line): an empty
    // address or port leaves the value as it is. False when the port is not
    // a number from 1 to 65535.
    bool Override(const std::string& address, const std::string& portText);
};
