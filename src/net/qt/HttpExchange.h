// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/HttpTransport.h"
#include "core/common/ProxyRule.h"
#include "net/qt/HttpResponseReader.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <optional>

class CHostLookup;
class QTcpSocket;

// One HTTP/1.1 exchange over Qt's sockets, redirects included, driven by the event loop of
// the thread that runs it. The request goes out byte for byte as the core words it; the
// time-outs and the stop are checked every TICK_MS, so a stop ends it at once wherever it
// is (in a name lookup too).
class CHttpExchange final : public QObject {
    Q_OBJECT
public:
    static constexpr int TICK_MS = 20;

    CHttpExchange(const HttpClientRequest& request, IHttpReceiver& receiver);
    ~CHttpExchange() override;
    Q_DISABLE_COPY(CHttpExchange)

    void Start();
    bool IsFinished() const { return m_finished; }
    const HttpResult& Result() const { return m_result; }

signals:
    void Finished();

private:
    enum class Phase { Resolving, Connecting, Tunnelling, Handshaking, Receiving };

    void StartHop();
    // Unwires and closes the hop's socket: nothing it still receives is read.
    void DropSocket();
    void ConnectNext();
    void OnConnected();
    void SendRequest();
    void OnReadyRead();
    void OnAnswer(std::string& body);
    void OnTunnelAnswer(const QByteArray& bytes);
    void OnSocketError();
    // Ends the exchange at a stop or a time-out; true when it has ended.
    bool OnTick();
    // A redirect to follow: true when a new hop started (or the exchange ended).
    bool FollowRedirect();
    void Finish(HttpFailure failure, const QString& error = {});

    const HttpClientRequest& m_request;
    IHttpReceiver& m_receiver;
    QUrl m_url;
    int m_redirects = 0;
    std::optional<ProxyServer> m_proxy;
    Phase m_phase = Phase::Resolving;
    CHostLookup* m_lookup = nullptr;
    QList<QHostAddress> m_addresses;
    int m_nextAddress = 0;
    QTcpSocket* m_socket = nullptr;
    QString m_connectError;
    CHttpResponseReader m_reader;
    CHttpResponseReader m_tunnelReader;
    bool m_headTold = false;
    QTimer m_tick;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceHop;
    QElapsedTimer m_sinceMove;
    bool m_finished = false;
    HttpResult m_result;
};
