#pragma once
// A man in the middle on loopback: it listens at `at`, and for each caller
// opens a link of its own to `to` (calling from `from`, so the hub sees the
// relay's address), passes every byte both ways unchanged and keeps them
// all. What a test then looks for in `up` (caller to hub) and `down` (hub
// to caller) is what a listener on the path would read. A closure on one
// side closes the other. One caller at a time: a new one replaces the last.

#include "wsocket.h"

#include <algorithm>
#include <string>

namespace testkit {

class RecordingRelay {
public:
    std::string up, down;

    RecordingRelay(const std::string& at, const std::string& to, const std::string& from, const std::string& port)
    {
        FListener.OnSessionAvailable = [this, to, from, port](TCustomWSocket*, uint16_t) {
            Close();
            FEarly.clear();
            FIn.Dup(FListener.Accept());
            FOut.SetLocalAddr(from);
            FOut.SetAddr(to);
            FOut.SetPort(port);
            FOut.SetProto("tcp");
            FOut.Connect();
        };
        FIn.OnDataAvailable = forward(FOut, up);
        FOut.OnDataAvailable = forward(FIn, down);
        FOut.OnSessionConnected = [this](TCustomWSocket*, uint16_t error) {
            if (error != 0)
                closeSide(FIn);
            else if (!FEarly.empty())
                FOut.SendStr(FEarly);
            FEarly.clear();
        };
        FIn.OnSessionClosed = [this](TCustomWSocket*, uint16_t) { closeSide(FOut); };
        FOut.OnSessionClosed = [this](TCustomWSocket*, uint16_t) { closeSide(FIn); };
        FListener.SetAddr(at);
        FListener.SetPort(port);
        FListener.SetProto("tcp");
        FListener.Listen();
    }

    ~RecordingRelay()
    {
        for (TWSocket* s : {&FListener, &FIn, &FOut}) {
            s->OnSessionAvailable = nullptr;
            s->OnDataAvailable = nullptr;
            s->OnSessionClosed = nullptr;
            s->OnSessionConnected = nullptr;
        }
    }

    // Both directions, as one text to search.
    std::string Wire() const { return up + down; }

    void Close()
    {
        closeSide(FIn);
        closeSide(FOut);
    }

private:
    static void closeSide(TWSocket& s)
    {
        if (s.State() != wsClosed)
            s.Close();
    }

    TDataAvailable forward(TWSocket& to, std::string& kept)
    {
        return [&to, &kept, &early = FEarly](TCustomWSocket* s, uint16_t) {
            char buf[16384];
            const int n = s->Receive(buf, sizeof buf);
            if (n <= 0)
                return;
            kept.append(buf, size_t(n));
            if (to.State() == wsConnected)
                to.Send(buf, n);
            else
                early.append(buf, size_t(n)); // the hub's side is still connecting
        };
    }

    TWSocket FListener, FIn, FOut;
    std::string FEarly; // what the caller said before the hub's side was up
};

} // namespace testkit
