// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CSarifReport.h"

#include "engine/CReasonFilter.h"
#include "export/CJsonStream.h"
#include "export/SReportRun.h"
#include "results/CResultsModel.h"

#include <vector>

namespace {

constexpr std::string_view kUnknownRule = "LVUNKNOWN";
using EBadBytes = CJsonStream::EBadBytes;

// The rules in the order of their index: the table's reasons, the current-web
// ones, those of the links between the pages when they were checked, then the
// unknown reason.
std::vector<SReason> Rules(const SReportRun& run) {
    std::vector<SReason> rules(CReasonFilter::ReasonTable().begin(),
                               CReasonFilter::ReasonTable().end());
    rules.insert(rules.end(), CReasonFilter::kAlwaysListed.begin(),
                 CReasonFilter::kAlwaysListed.end());
    if (run.bLocalLinks)
        rules.insert(rules.end(), CReasonFilter::kLocalOutcomes.begin(),
                     CReasonFilter::kLocalOutcomes.end());
    return rules;
}

// Lexically resolves "." and ".." and drops empty segments of an absolute path.
std::string Normalized(std::string_view path) {
    std::vector<std::string_view> segments;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t slash = path.find('/', at);
        if (slash == std::string_view::npos)
            slash = path.size();
        const std::string_view segment = path.substr(at, slash - at);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        at = slash + 1;
    }
    std::string out;
    for (std::string_view segment : segments)
        out.append(1, '/').append(segment);
    return out.empty() ? "/" : out;
}

// Every byte but the unreserved ones and "/" as %XX.
std::string UriEscaped(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/')
            out += c;
        else
            out.append(1, '%').append(1, kHex[b >> 4]).append(1, kHex[b & 15]);
    }
    return out;
}

// A fingerprint of the link that survives lines moving: FNV-1a over the file
// and the URL.
std::string Fingerprint(std::string_view uri, std::string_view url) {
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::string_view bytes) {
        for (char c : bytes)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        hash = (hash ^ 0xffu) * 1099511628211ull; // a separator no byte run can fake
    };
    mix(uri);
    mix(url);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        out[static_cast<std::size_t>(i)] = kHex[hash & 15];
    return out;
}

} // namespace

std::string CSarifReport::ArtifactUri(const std::string& file, const std::string& currentFolder) {
    const std::string folder = Normalized(currentFolder);
    const std::string path = Normalized(file.starts_with('/') ? file : folder + "/" + file);
    const std::string prefix = folder == "/" ? folder : folder + "/";
    if (path.starts_with(prefix) && path.size() > prefix.size())
        return UriEscaped(path.substr(prefix.size()));
    return "file://" + UriEscaped(path);
}

bool CSarifReport::Write(const CResultsModel& rows, const SReportRun& run,
                         const std::string& currentFolder, const CReportWriter::FnWrite& write) {
    const std::vector<SReason> rules = Rules(run);
    CJsonStream out(write);
    out.Raw("{\n\"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\",\n"
            "\"version\": \"2.1.0\",\n\"runs\": [{\n\"tool\": {\"driver\": {\"name\": ");
    out.String(run.toolName, EBadBytes::Replace).Raw(", \"version\": ");
    out.String(run.version, EBadBytes::Replace).Raw(", \"informationUri\": ");
    out.String(CReportWriter::kHomePage).Raw(", \"rules\": [");
    auto rule = [&out](std::string_view id, std::string_view text) {
        out.Raw("\n{\"id\": ").String(id).Raw(", \"shortDescription\": {\"text\": ").String(text);
        out.Raw("}, \"defaultConfiguration\": {\"level\": \"error\"}}");
    };
    for (const SReason& reason : rules) {
        rule("LV" + std::to_string(reason.code), reason.text);
        out.Raw(",");
    }
    rule(kUnknownRule, CReasonFilter::kUnknownReasonText);
    out.Raw("\n]}},\n\"invocations\": [{\"executionSuccessful\": true, \"startTimeUtc\": ");
    out.String(run.startTime).Raw(", \"endTimeUtc\": ").String(run.endTime);
    out.Raw("}],\n\"results\": [");
    for (int row = 0; row < rows.RowCount() && out.Ok(); ++row) {
        const SResultRow& r = rows.Row(row);
        std::size_t index = 0;
        while (index < rules.size() && rules[index].code != r.code)
            ++index; // past the end: the unknown reason's rule
        const std::string uri = ArtifactUri(r.fileName, currentFolder);
        out.Raw(row == 0 ? "\n" : ",\n");
        out.Raw("{\"ruleId\": ");
        if (index < rules.size())
            out.Raw("\"LV").Number(rules[index].code).Raw("\"");
        else
            out.String(kUnknownRule);
        out.Raw(", \"ruleIndex\": ");
        out.Number(static_cast<long long>(index)).Raw(", \"level\": \"error\", \"message\": ");
        out.Raw("{\"text\": ").String(r.reason + ": " + r.url, EBadBytes::Replace);
        out.Raw("}, \"locations\": [{\"physicalLocation\": {\"artifactLocation\": {\"uri\": ");
        out.String(uri).Raw("}");
        if (r.line > 0) {
            out.Raw(", \"region\": {\"startLine\": ").Number(r.line);
            if (r.column > 0)
                out.Raw(", \"startColumn\": ").Number(r.column);
            out.Raw("}");
        }
        out.Raw("}}], \"partialFingerprints\": {\"linkvetLink/v1\": ");
        out.String(Fingerprint(uri, r.url)).Raw("}}");
    }
    out.Raw("\n]\n}]\n}\n");
    return out.Finish();
}
