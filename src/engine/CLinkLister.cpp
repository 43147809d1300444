// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CLinkLister.h"

#include "engine/CReasonFilter.h"
#include "engine/CUrlExtractor.h"
#include "engine/ISessionHost.h"
#include "engine/LogText.h"

bool CLinkLister::IsListed(const CReasonFilter& reasons, int scheme, const SOutcome& outcome) {
    const bool bEvaluated = !outcome.bReplied || scheme == CUrlExtractor::kSchemeHttp;
    return bEvaluated && reasons.IsReasonReported(outcome.code);
}

void CLinkLister::Reset() {
    m_fileErrorCount = -1;
    m_linksDone = 0;
    m_filesRead = 0;
}

void CLinkLister::TakeUpFile(const std::string& file) {
    CloseFile();
    m_currentFile = file;
    m_urlCount = 0;
    m_excludedCount = 0;
    m_fileErrorCount = 0;
}

void CLinkLister::FileRead(int links, int excluded) {
    m_urlCount = links;
    m_excludedCount = excluded;
    ++m_filesRead;
    m_host.AppendLog(LogText::TestingLine(m_currentFile));
}

void CLinkLister::Settle(const SFoundLink& link, int scheme, const SOutcome& outcome) {
    ++m_linksDone;
    // A link between the pages that found its target is no result, whatever
    // the filter says of a reply.
    if (link.bLocal ? outcome.bReplied : !IsListed(m_reasons, scheme, outcome)) {
        m_host.LinkSettled(link.url, m_currentFile, false);
        return;
    }
    SResultRow row{link.url, m_reasons.ReasonText(outcome.code, outcome.bRedirected), link.name,
                   m_currentFile};
    row.line = link.line;
    row.column = link.column;
    row.code = outcome.code;
    row.bRedirected = outcome.bRedirected;
    m_host.AddResultRow(row);
    ++m_fileErrorCount;
    m_host.LinkSettled(link.url, m_currentFile, true);
}

void CLinkLister::CloseFile() {
    if (!HasFile())
        return;
    m_host.AppendLog(
        LogText::Summary(m_currentFile, m_urlCount, m_fileErrorCount, m_excludedCount));
    m_fileErrorCount = -1;
}
