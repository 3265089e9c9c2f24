// SPDX-License-Identifier: MIT
#include "net/qt/QtHttpTransport.h"

#include "net/qt/HttpExchange.h"

#include <QCoreApplication>
#include <QEventLoop>

HttpResult CQtHttpTransport::Perform(const HttpClientRequest& request, IHttpReceiver& receiver) {
    if (QCoreApplication::instance() == nullptr) {
        return {HttpFailure::Other, 0, "no application to run the transfer in"};
    }
    // Made first: it gives a worker thread its event dispatcher.
    QEventLoop loop;
    CHttpExchange exchange(request, receiver);
    QObject::connect(&exchange, &CHttpExchange::Finished, &loop, &QEventLoop::quit);
    exchange.Start();
    if (!exchange.IsFinished()) {
        loop.exec();
    }
    return exchange.Result();
}
