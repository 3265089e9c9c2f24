// SPDX-License-Identifier: MIT
#include "UrlRecorder.h"

#include <QDesktopServices>

namespace {
constexpr const char* SCHEMES[] = {"http", "https", "file", ""};
}

CUrlRecorder::CUrlRecorder() {
    for (const char* scheme : SCHEMES) {
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
}

CUrlRecorder::~CUrlRecorder() {
    for (const char* scheme : SCHEMES) {
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
}

void CUrlRecorder::Open(const QUrl& url) {
    m_opened << url.toString();
}
