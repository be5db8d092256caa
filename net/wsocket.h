#pragma once
// TCustomWSocket / TWSocket: the event-driven TCP/UDP socket component.
//
// One object holds at most one socket handle. It never blocks the GUI thread
// (apart from resolving a host name given to SetAddr and the optional waits):
// socket readiness is turned into notifications posted to the object's own
// endpoint (Handle()) on the thread that created it, and each notification
// raises the events below, one at a time, between other events of the loop.
//
// How the owner uses it:
//   TWSocket s;
//   s.OnSessionConnected = [&](TCustomWSocket* sender, uint16_t error) { ... };
//   s.OnDataAvailable = [&](TCustomWSocket* sender, uint16_t error) {
//       char buf[1024]; int n = sender->Receive(buf, sizeof buf); ... };
//   s.OnSessionClosed = [&](TCustomWSocket* sender, uint16_t error) { ... };
//   s.SetAddr("127.0.0.1"); s.SetPort("2200"); s.SetProto("tcp");
//   s.Connect();                       // completion arrives as OnSessionConnected
//   s.SendStr(std::string("line\r\n")); // queued and pushed out at once
//   s.Close();                         // OnSessionClosed(0) is raised inside
//
// Listening: SetAddr("0.0.0.0"), SetPort("2200"), Listen(); in
// OnSessionAvailable hand the caller to another object with
// seat.Dup(listener.Accept()).
//
// Every error is a Windows Sockets code (wsockerr.h): events carry it as
// Error, LastError() holds the last one, ESocketException texts quote it.
// Failures of operations raise ESocketException. An exception that escapes
// an event handler is caught at the notification dispatch and handed to
// WSocketExceptionHandler (it never crosses the Qt event loop); one escaping
// OnDataAvailable is swallowed by the data-available loop.
//
// Events may call any operation of the object, Close included; a handler may
// even delete the object, as the last thing it does (the handler itself is
// freed with it). Every close forgets Addr and Port (set them again before
// the next Connect/Listen), sets Proto back to "tcp" and FlushTimeout back
// to 60, and discards the bytes still queued for the closed connection; a
// new connection (Connect, Dup) never carries anything of the previous one.
//
// Guards against hostile or broken peers: more than MaxSendQueue() unsent
// bytes (1 MiB) end the connection as a reset would (OnSessionClosed(0),
// LastError 10055); one data-available notification handles at most
// ReceiveBurst() bytes (64 KiB), the rest comes on the next loop turn; a
// handler that reads nothing is not called again until something is read.
//
// SetLocalAddr binds outgoing connections to a local address (PELMORA_ADDRESS).
//
// Flow control for a relay: SetReadHeld(true) stops taking bytes in (no
// data-available event, no close event; the kernel's buffer and then TCP's
// window hold the peer back, so nothing is lost) until SetReadHeld(false).
// SetSendWaterMarks makes OnSendQueueLevel report when the unsent bytes
// pass the high mark and when they fall back to the low one, so a relay can
// stop reading the connections that feed a slow reader. SetSendStallTimeout
// ends a connection whose queued bytes have not moved for that long (a peer
// that does not read), as the queue cap does.
//
// Encryption: StartTls on a connected stream puts a TLS 1.3 session between
// the owner and the socket (wsocktls.cpp). From then on Receive hands out
// plaintext and Send takes plaintext; every event keeps its meaning, and the
// queue limits, flow control and stall watch apply to the encrypted bytes.
// Until the handshake is over the owner receives nothing and what it sends
// waits; OnTlsDone(0) tells it is over (TlsPeerFingerprint then names the
// peer). A handshake that fails or takes longer than its deadline, garbage,
// an oversized record or a renegotiation end the connection:
// OnSessionClosed with 10053 (10060 for the deadline, 10055 for too much
// held back), LastError the same. ReadLine reads the raw stream: it is not
// for an encrypted connection.

#include "waitctrl.h"
#include "wsockbuf.h"
#include "wsockerr.h"

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QDeadlineTimer;
class TCustomWSocket;
class TWSocketEndpoint;
struct TTlsLink;
struct ssl_ctx_st;

// What StartTls may wait for the handshake by default (ms).
constexpr int kTlsHandshakeMs = 10000;

using TSocket = int;
constexpr TSocket INVALID_SOCKET = -1;

// Values are part of the interface (wsConnected = 4).
enum TSocketState : uint8_t {
    wsInvalidState = 0, // only means "no state awaited" for Wait
    wsOpened = 1,
    wsBound = 2,
    wsConnecting = 3,
    wsConnected = 4,
    wsAccepting = 5, // never entered
    wsListening = 6,
    wsClosed = 7,
};

enum TSocketSendFlags : int { wsSendNormal = 0, wsSendUrgent = 1 };

// Notification bits, as the socket library reports them.
enum : uint16_t {
    FD_READ = 0x01,
    FD_WRITE = 0x02,
    FD_OOB = 0x04,
    FD_ACCEPT = 0x08,
    FD_CONNECT = 0x10,
    FD_CLOSE = 0x20,
};

// The masks registered with AsyncSelect (each registration replaces the
// previous one).
enum : uint16_t {
    kNoEvents = 0,                                                           // Pause
    kConnectEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE, // Connect
    kListenEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE,               // Listen
    kConnectedEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE,           // Dup, Resume
};
static_assert(kConnectEvents == 0x3B && kListenEvents == 0x2B && kConnectedEvents == 0x33,
              "the masks the socket library is given");

// Values of FType.
enum : int { kStreamSocket = 1, kDatagramSocket = 2 };

// Event types: Sender and a 16-bit Windows Sockets error code, 0 = success.
using TDataAvailable = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TDataSent = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TSessionClosed = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TSessionAvailable = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TSessionConnected = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TDnsLookupDone = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;
using TChangeState = std::function<void(TCustomWSocket* Sender, TSocketState OldState, TSocketState NewState)>;
using TNotifyEvent = std::function<void(TCustomWSocket* Sender)>;
// Above: the unsent bytes passed the high-water mark; false: they fell back
// to the low-water mark.
using TSendQueueLevel = std::function<void(TCustomWSocket* Sender, bool Above)>;

// A (seconds, microseconds) pair for the timer helpers.
struct TTimeVal {
    long tv_sec = 0;
    long tv_usec = 0;
};

// Where exceptions escaping an event handler go (the handler runs inside a
// notification, so they cannot travel further). The application sets it to
// show its error report; the default writes the text as a warning.
extern std::function<void(const std::exception&)> WSocketExceptionHandler;

// Resolve a dotted IPv4 address or a host name (blocking) to an address in
// network byte order; raises "SetAddr: Cannot convert host address '...'".
uint32_t WSocketResolveHost(const std::string& host);

// Whether `accepted` (a handle this process's listener accepted) is the far
// end of `outgoing` (a handle this process connected): the same TCP
// connection seen from both ends. The ports must match crosswise (the
// accepted side's remote port is the outgoing side's local port, its local
// port the outgoing side's remote one). When the outgoing side called the
// very address that accepted, the addresses must match crosswise too; when
// it called another address that led back here (a router's port forward
// with hairpin NAT, which rewrites both addresses but keeps the ports), the
// ports decide, and the accepted side's remote address must be one such a
// router calls from: the address called, or the gateway this machine
// reaches it through. False when either handle has no two ends (yet).
bool WSocketSameConnection(TSocket accepted, TSocket outgoing);
// The dotted address of the other end of a connected handle; empty when it
// has none (the caller already went).
std::string WSocketPeerAddress(TSocket handle);
// The next hop (network byte order) of this machine's route to `addr`, 0
// when the route is direct or unknown. `routeTable` is the text of the
// kernel's IPv4 routing table (/proc/net/route); empty reads it.
uint32_t WSocketGatewayTo(uint32_t addr, const std::string& routeTable = std::string());

class TCustomWSocket;
// Whether Send of `len` bytes on one of the n connected stream sockets
// would end its connection now: the peer has reset it or its sending side
// is shut (a send fails), or the bytes would take its queue over
// MaxSendQueue(). One system call for all n, so a relay can ask before it
// sends a block to every seat.
bool WSocketsSendWouldFail(TCustomWSocket* const* sockets, int n, size_t len);

class TCustomWSocket {
public:
    TCustomWSocket();
    virtual ~TCustomWSocket();
    TCustomWSocket(const TCustomWSocket&) = delete;
    TCustomWSocket& operator=(const TCustomWSocket&) = delete;

    // ---- connecting, listening, closing ----------------------------------
    // Start connecting to Addr:Port with Proto. Stream: wsOpened, then
    // wsConnecting; completion (or refusal) arrives as OnSessionConnected.
    // Datagram: connected at once, OnSessionConnected(0) inside the call.
    virtual void Connect();
    // Shut down both directions and close; raises OnSessionClosed(0) inside
    // the call unless already raised for this connection.
    virtual void Close();
    // As Close, without the shutdown.
    virtual void Abort();
    // Wait until the send queue is empty, the connection is gone or
    // FlushTimeout seconds have passed.
    virtual void Flush();
    // Stay in the event loop until the connection closes.
    virtual void WaitForClose();
    // Listen on Addr:Port with Proto; returns 0 (failures raise).
    virtual int Listen();
    // Accept one waiting caller; returns its handle for another object's Dup.
    virtual TSocket Accept();
    // Read at most len bytes that have arrived: count, 0 when the peer has
    // closed, -1 on error (the error goes to LastError). Never waits.
    virtual int Receive(void* buffer, int len);
    // Datagram receive; from/fromLen receive the sender's address.
    virtual int ReceiveFrom(void* buffer, int len, sockaddr_in& from, int& fromLen);
    // Queue bytes and start sending at once; returns len. Raises error 10057
    // "Send" when not connected.
    virtual int Send(const void* data, int len);
    virtual int SendStr(const std::string& str);
    // Asynchronous name lookup; the result arrives as OnDnsLookupDone and in
    // DnsResult/DnsResultList. A dotted address completes inside the call.
    virtual void DnsLookup(const std::string& hostName);
    // Cancel a pending lookup; raises OnDnsLookupDone(10004).
    virtual void CancelDnsLookup();
    // Remote address as dotted text, "error" unless connected.
    virtual std::string GetPeerAddr();
    virtual int GetPeerName(sockaddr_in& name, int nameLen);
    // Local port as decimal text, "error" unless bound/connected/listening.
    virtual std::string GetXPort();
    bool TimerIsSet(const TTimeVal& tvp) const;
    void TimerClear(TTimeVal& tvp) const;
    bool TimerCmp(const TTimeVal& tvp, const TTimeVal& uvp, bool isEqual) const;
    // Wait up to timeout seconds for the given state; false when already in
    // it or when it was not reached. Needs MultiThreaded or a WaitCtrl.
    virtual bool Wait(int timeout, TSocketState waitedState);
    // Read one line (CR dropped, LF ends it, at most 254 bytes) within
    // timeout seconds. Needs MultiThreaded or a WaitCtrl.
    virtual void ReadLine(int timeout, std::string& buffer);
    virtual int GetSockName(sockaddr_in& name, int& nameLen);
    // Take over an accepted handle (closing the one held, without event).
    virtual void Dup(TSocket newHSocket);
    // 0 receive, 1 send, 2 both.
    virtual void Shutdown(int how);
    virtual void Pause();
    virtual void Resume();
    // Handle the events pending for this thread, then return.
    static void ProcessMessages();
    // Handle the events that come, sleeping until one does or the deadline
    // passes (the blocking waits use it instead of polling).
    static void WaitForEvents(const QDeadlineTimer& deadline);

    // ---- properties ------------------------------------------------------
    const std::string& Addr() const { return FAddrStr; }
    void SetAddr(const std::string& addr);
    const std::string& Port() const { return FPortStr; }
    void SetPort(const std::string& port);
    const std::string& Proto() const { return FProtoStr; }
    void SetProto(const std::string& proto);
    // Local address that Connect binds to before connecting ("" = none, the
    // system chooses). Kept across closes.
    const std::string& LocalAddr() const { return FLocalAddrStr; }
    void SetLocalAddr(const std::string& addr);

    const std::string& DnsResult() const { return FDnsResult; }
    const std::vector<std::string>& DnsResultList() const { return FDnsResultList; }
    TSocketState State() const { return FState; }
    int ReadCount() const { return FReadCount; }
    // Bytes waiting in the socket (raises "ioctlSocket" on failure).
    int RcvdCount();
    // The peer has closed or reset this connection, though the close
    // notification may not have been handled yet (bytes may still wait).
    bool PeerEnded() const;
    int LastError() const { return FLastError; }
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool value) { FMultiThreaded = value; }
    // Empty again once the assigned control is destroyed.
    TWaitControl* WaitCtrl() const { return FWaitAlive.expired() ? nullptr : FWait; }
    void SetWaitCtrl(TWaitControl* wait);
    int FlushTimeout() const { return FFlushTimeout; }
    void SetFlushTimeout(int seconds) { FFlushTimeout = seconds; }
    TSocketSendFlags SendFlags() const;
    void SetSendFlags(TSocketSendFlags flags);
    int PortNum() const { return FPortNum; }
    TWSocketEndpoint* Handle() const { return FWindowHandle; }
    TSocket HSocket() const { return FHSocket; }
    int LocalPort() const { return FLocalPort; }

    // Guards against a peer that never reads and one that floods us.
    // Unsent bytes above this limit end the connection as a reset would.
    size_t MaxSendQueue() const { return FMaxSendQueue; }
    void SetMaxSendQueue(size_t bytes) { FMaxSendQueue = bytes; }
    // Bytes handled by one data-available notification before the rest is
    // left for the next turn of the event loop.
    int ReceiveBurst() const { return FReceiveBurst; }
    void SetReceiveBurst(int bytes) { FReceiveBurst = bytes; }
    // Send small writes at once instead of waiting for the peer's ACK of
    // the last one (TCP_NODELAY) on the current stream connection. Changes
    // only how bytes are cut into segments, never the bytes.
    void SetNoDelay(bool on);
    bool NoDelay() const;
    // Bytes still queued for sending.
    size_t SendQueueSize() const;
    // Take no bytes in while held (see the top of this file). Every new
    // connection (Connect, Dup) starts unheld.
    void SetReadHeld(bool held);
    bool ReadHeld() const { return FReadHeld; }
    // OnSendQueueLevel(true) when the unsent bytes pass high, (false) when
    // they are back at low or below (0, 0: never). A connection that ends
    // while above raises no "false".
    void SetSendWaterMarks(size_t high, size_t low);
    bool SendQueueAbove() const { return FQueueAbove; }
    // End the connection when queued bytes have not moved for ms (0: never).
    void SetSendStallTimeout(int ms);
    int SendStallTimeout() const { return FStallMs; }
    // Called by the endpoint's stall watch while bytes are queued.
    void StallTick();
    // Blocks in the send queue (for tests of the block split).
    const std::deque<std::unique_ptr<TBuffer>>& SendBlocks() const { return FBufList; }

    // ---- encryption (see the top of this file) -----------------------------
    // Start TLS on this connected stream with `ctx` (tlsidentity.h), as the
    // server or the client; the handshake must be over within deadlineMs.
    // Raises 10057 "StartTls" when not connected, 10022 when TLS is already
    // on or ctx is null.
    void StartTls(const std::shared_ptr<ssl_ctx_st>& ctx, bool server, int deadlineMs = kTlsHandshakeMs);
    // TLS has been started on this connection (it may still be handshaking).
    bool TlsStarted() const { return FTls != nullptr; }
    // The handshake is over and the link is encrypted.
    bool TlsEstablished() const;
    // The peer's certificate fingerprint once established, else empty.
    std::string TlsPeerFingerprint() const;
    // What ended TLS on this connection from the peer's side: 10060 the
    // handshake's deadline, 10053 the peer left in the handshake or sent
    // what TLS refuses (garbage, a broken or oversized record, a second
    // handshake), 10055 too much held before the handshake was over; 0
    // while none of these happened.
    uint16_t TlsFailure() const;

    // ---- events ----------------------------------------------------------
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSessionClosed OnSessionClosed;
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TChangeState OnChangeState;
    TNotifyEvent OnLineTooLong;
    TDnsLookupDone OnDnsLookupDone;
    TSendQueueLevel OnSendQueueLevel;
    // The TLS handshake is over (Error 0); raised once per StartTls.
    TDataAvailable OnTlsDone;

    // ---- notification entry points (called by the endpoint) -------------
    // A socket notification for handle `socket` of generation `generation`.
    void WMASyncSelect(TSocket socket, uint32_t generation, uint16_t events, uint16_t error);
    // Completion of lookup `request` with its addresses (dotted texts).
    void WMAsyncGetHostByName(uint32_t request, uint16_t error, const std::vector<std::string>& addresses);
    // Generation of the current handle; every new or closed handle gets a
    // new one, so notifications queued for an earlier handle are dropped.
    uint32_t Generation() const { return FGeneration; }

protected:
    [[noreturn]] void SocketError(const std::string& function);
    // SocketError with the current errno, or with `code`, as the last error.
    [[noreturn]] void raiseErrno(const std::string& function);
    [[noreturn]] void raiseError(int code, const std::string& function);

    // Whom a notification was for. A handler may close, replace or delete
    // the object; after every callback this tells whether the object is
    // still there and still holds the same connection.
    struct TSameConnection {
        const TCustomWSocket* self;
        std::weak_ptr<bool> alive;
        TSocket socket;
        uint32_t generation;
        bool operator()() const
        {
            return !alive.expired() && self->FHSocket == socket && self->FGeneration == generation;
        }
    };
    // One handler per notification bit; each returns whether the dispatch
    // goes on with the next bit.
    bool handleConnect(uint16_t error, const TSameConnection& same);
    bool handleRead(const TSameConnection& same);
    bool handleWrite(uint16_t error, const TSameConnection& same);
    bool handleAccept(uint16_t error, const TSameConnection& same);
    void handleClose(uint16_t error, const TSameConnection& same);

    // Store a new Addr/Port/Proto text; false when it is the one in force.
    // Raises "Cannot change <name> if not closed" unless closed.
    bool storeSetting(std::string& field, bool assigned, const std::string& value, const char* name);
    // A Port/Proto text that cannot be converted: unassigned, then raised.
    [[noreturn]] void rejectSetting(bool& assigned, int code, const std::string& function);
    void connectDatagram(TSocket s);
    void connectStream(TSocket s);
    // A new non-blocking socket of FAddrFormat, FType and FProto.
    TSocket openSocket() const;
    // Bind `socket` to LocalAddr, any port; the result of bind().
    int bindLocal(TSocket socket) const;
    void ChangeState(TSocketState newState);
    void AssignDefaultValue();
    void InternalClose(bool shutdownFirst);
    void TryToSend();
    // One send call of len bytes; the count taken, or -1 after handling the
    // error as the pump does (a reset closes, would-block arms the write
    // notification, anything else raises).
    int sendOnce(const char* p, int len);
    // Post the write notification that raises OnDataSent after this Send.
    void postDataSent();
    // Returns whether read notifications may be re-armed at once.
    bool ASyncReceive(uint16_t error);
    void ReadLineStart();
    void ReadLineReceive();
    void CheckFWait();
    void BindSocket();
    void DiscardSendQueue();
    void NewHandle(TSocket socket);
    void DropHandle();
    // Register readiness notifications for FHSocket with a Windows mask;
    // kind -1 derives how readiness is read from the state.
    void AsyncSelect(uint16_t mask, int kind = -1);
    // A read or accept notification found nothing consumed: the next
    // Receive/Accept re-arms it (the Windows re-enabling rule).
    void RearmIfWaiting();
    void AddReadCount(int n);
    std::weak_ptr<bool> Alive() const { return FAlive; }
    // Keep the event loop turning until done() or timeoutMs have passed.
    void WaitLoop(const std::function<bool()>& done, int64_t timeoutMs);
    // Needs WaitCtrl(); returns at the control's end, also when a handler
    // deleted this object meanwhile (check Alive() before going on).
    void WaitWithControl(int timeout);
    // Stop the wait control of a wait that is over (not MultiThreaded).
    void stopWait();

    TSocket FHSocket = INVALID_SOCKET;
    bool FPortAssigned = false;
    bool FAddrAssigned = false;
    bool FProtoAssigned = true;
    std::string FProtoStr = "tcp";
    std::string FAddrStr;
    std::string FPortStr;
    int FPortNum = 0;
    int FLocalPort = 0;
    int FProto = IPPROTO_TCP;
    int FType = kStreamSocket;
    std::string FDnsResult;
    std::vector<std::string> FDnsResultList;
    int FAddrFormat = AF_INET;
    TSocket FASocket = INVALID_SOCKET;
    TSocketState FState = wsClosed;
    int FFlushTimeout = 60;
    std::deque<std::unique_ptr<TBuffer>> FBufList;
    int FSendFlags = 0;
    bool FMultiThreaded = false;
    TWaitControl* FWait = nullptr;
    std::weak_ptr<const void> FWaitAlive; // FWait's token; use WaitCtrl()
    TSocketState FStateWaited = wsInvalidState;
    int FLastError = 0;
    bool FPaused = false;
    bool bAllSent = true;
    std::string ReadLineBuffer;
    int ReadLineCount = 0;
    bool ReadLineFlag = false;
    // A line finished by notifications after its ReadLine had timed out,
    // kept for the next ReadLine instead of being cleared by it.
    bool ReadLineReady = false;
    bool FInReadLine = false;
    int FReadCount = 0;
    bool FCloseInvoked = false;
    TWSocketEndpoint* FWindowHandle = nullptr;
    uint32_t FDnsLookupHandle = 0;
    sockaddr_in sin{};

    std::string FLocalAddrStr;
    uint32_t FLocalAddr = 0;
    bool FDestroying = false;
    uint32_t FGeneration = 0;
    size_t FMaxSendQueue = 1024 * 1024;
    int FReceiveBurst = 64 * 1024;
    size_t FQueued = 0; // unsent bytes in FBufList
    bool FRearmPending = false;
    uint64_t FBytesIn = 0;     // bytes taken in; for the per-notification cap
    uint64_t FConsumed = 0;    // reads that took something (an empty datagram too)
    bool FDrained = false;     // the last Receive got less than it asked for
    bool FWritePosted = false; // a write notification from Send is on its way
    bool FReadHeld = false;
    uint16_t FHeldEvents = 0; // read-side notifications that came while held
    uint16_t FHeldError = 0;
    size_t FHighWater = 0;
    size_t FLowWater = 0;
    bool FQueueAbove = false;
    int FStallMs = 0;
    uint64_t FBytesOut = 0;  // bytes the kernel has taken; the stall watch's measure
    uint64_t FStallMark = 0; // FBytesOut at the last move seen
    int64_t FStallSince = 0; // when it last moved (ms, monotonic)
    bool FStallWatching = false;
    // Queue-level bookkeeping after bytes were queued or sent.
    void queueLevelChanged();
    // Send without TLS: the ciphertext, or everything on a plain link.
    int sendRaw(const char* p, int len);
    // Bytes a reader may take now: the kernel's, and on an encrypted link
    // what the TLS session holds; -1 when the socket cannot tell.
    int waitingBytes() const;
    // The encrypted link's parts (wsocktls.cpp).
    bool tlsPending() const;
    bool tlsHandshaking() const;
    bool tlsReadHandshake();
    bool tlsStepHandshake();
    bool tlsFlushOut();
    int tlsReceive(void* buffer, int len);
    int tlsSend(const char* p, int len);
    void tlsFail(uint16_t code);
    uint16_t tlsCloseError(uint16_t error) const;
    struct TTlsLinkFree {
        void operator()(TTlsLink* link) const;
    };
    std::unique_ptr<TTlsLink, TTlsLinkFree> FTls;
    // Re-post what came while reading was held.
    void releaseHeldEvents();
    std::shared_ptr<bool> FAlive;
};

// The component as the owners use it; adds nothing.
class TWSocket : public TCustomWSocket {
public:
    using TCustomWSocket::TCustomWSocket;
};
