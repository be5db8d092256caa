#pragma once
// TSirSock: the own-address component (Qt Core only).
//
// Finds the machine's host name and IPv4 address once, when it is created,
// and keeps them as the read-only SelfName() and SelfIPAddress() (dotted
// text). The address is the host name's first IPv4 address; a loopback
// answer (Debian maps the host name to 127.0.1.1) is replaced by the first
// non-loopback IPv4 address of the interfaces. PELMORA_ADDRESS, when set,
// is taken as the own address instead. When no address is found at all the
// own address is "0.0.0.0", a text no peer can have.
//
//   TSirSock SirSock1(owner);
//   std::string own = SirSock1.SelfIPAddress();
//
// The rest (target host and service, error table, the notification
// dispatch of its own socket) is carried for completeness: nothing in the
// program opens the component's socket, so its events never fire.

#include "exception.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

// Creation failure of the component: "ｿｹｯﾄｴﾗｰ : " + the error text.
class ECommError : public Exception {
public:
    explicit ECommError(const std::string& errorText);
    const std::string& ErrorText() const { return FErrorText; }

private:
    std::string FErrorText;
};

class TSirSock : public QObject {
public:
    using TCommNotifyEvent = std::function<void(TSirSock* Sender, int S)>;
    using TCommAcceptNotifyEvent = std::function<void(TSirSock* Sender, int S, const std::string& IPAddress)>;

    // The notification message and its event bits.
    static constexpr unsigned WM_SIRSOCK = 0x0400 + 100; // 1124
    static constexpr unsigned FD_READ = 1, FD_ACCEPT = 8, FD_CONNECT = 16, FD_CLOSE = 32;
    // Own address when none can be found.
    static const char* const kNoAddress;

    explicit TSirSock(QObject* owner = nullptr);
    ~TSirSock() override;

    const std::string& SelfName() const { return FSelfName; }
    const std::string& SelfIPAddress() const { return FSelfIPAddress; }
    // Writers of SelfName and SelfIPAddress: both keep what creation found.
    void SetSelfName(const std::string& value) { ReadOnly(value); }
    void SetSelfIPAddress(const std::string& value) { ReadOnly(value); }

    int SelfPort = 0;
    const std::string& TargetHost() const { return FTargetHost; }
    void SetHost(const std::string& value);
    const std::string& TargetIPAddress() const { return FTargetIPAddress; }
    void SetTargetIPAddress(const std::string& value) { FTargetIPAddress = value; }
    const std::string& TargetService() const { return FTargetService; }
    void SetService(const std::string& value);
    int TargetPort = 0;
    bool ServerMode = false;
    int ErrorNumber = 0;
    int TimeOut = 0;
    // "" for 0, the table's text, or "winsock 不明なｴﾗｰ[ｴﾗｰ番号 %3d]" (CP932).
    std::string ErrorMessage() const { return GetErrorMessage(); }

    TCommNotifyEvent onReceive;
    TCommAcceptNotifyEvent onAccept;
    TCommNotifyEvent onConnect;
    TCommNotifyEvent onClose;

    // The notification procedure: WM_SIRSOCK with the socket as wParam and
    // the event (low 16 bits) and error (high 16 bits) as lParam.
    void WndProc(unsigned msg, std::uintptr_t wParam, std::uint32_t lParam);
    // Auto-reset data event: true once after an unhandled receive.
    bool TakeDataEvent();

    // The error text of any code, as GetErrorMessage gives it.
    static std::string ErrorText(int code);

protected:
    virtual void ReceiveHandler(int S);
    virtual void AcceptHandler();
    virtual void ConnectHandler(int S);
    virtual void CloseHandler(int S);

private:
    void ReadOnly(const std::string&) { }
    std::string GetErrorMessage() const { return ErrorText(ErrorNumber); }
    void FindSelf();
    template <class F>
    void Guarded(F f);

    std::string FSelfName;
    std::string FSelfIPAddress;
    std::string FTargetHost;
    std::string FTargetIPAddress;
    std::string FTargetService;
    int FSocket = -1;
    std::uint32_t FTargetAddr = 0xFFFFFFFFu; // network byte order
    bool FDataEvent = false;
};
