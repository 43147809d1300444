#include "settings/CSettingsStore.h"

#include "base/AsciiText.h"
#include "base/CPosixFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString LocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

// Sections and names match without regard to letter case, as they always have
// ("[settings]" in an old import file is the section "Settings"), so letters are
// stored in lower case. QSettings gives '/' and '\' a meaning in keys and cannot
// hold an empty key, but sections and names are arbitrary bytes (the import file
// can hold anything): every byte other than a letter, a digit, '_', '.' or '-'
// becomes %XX, and the empty name becomes a lone '%', which no encoded name can
// otherwise be.
QString EncodeKey(const std::string& key) {
    if (key.empty())
        return QStringLiteral("%");
    static const char kHex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(static_cast<qsizetype>(key.size()));
    for (char ch : key) {
        auto c = static_cast<unsigned char>(ch);
        if (AsciiText::IsAlpha(ch) || AsciiText::IsDigit(ch) || c == '_' || c == '.' || c == '-')
            out.append(QLatin1Char(AsciiText::ToLower(ch)));
        else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(kHex[c >> 4]));
            out.append(QLatin1Char(kHex[c & 0xF]));
        }
    }
    return out;
}

// Valid UTF-8 is stored as text so the file stays readable; any other bytes are
// stored as a byte array, which QSettings keeps exactly.
QVariant ValueToVariant(const std::string& value) {
    QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
    QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        return text;
    return bytes;
}

std::string VariantToValue(const QVariant& v) {
    QByteArray bytes;
    switch (v.typeId()) {
    case QMetaType::QByteArray:
        bytes = v.toByteArray();
        break;
    case QMetaType::QStringList: // an unquoted "a,b" written by hand
        bytes = v.toStringList().join(QLatin1Char(',')).toUtf8();
        break;
    default:
        bytes = v.toString().toUtf8();
        break;
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string TrimmedC(std::string_view s) {
    return std::string(AsciiText::Trim(s, AsciiText::ESpace::CSpace));
}

std::string AbsoluteOrEmpty(const char* path) {
    return path != nullptr && path[0] == '/' ? std::string(path) : std::string();
}

std::string HomeFolder() {
    std::string home = AbsoluteOrEmpty(std::getenv("HOME"));
    if (!home.empty())
        return home;
    // Started without a home in the environment (a service, "env -i"): the
    // password database still knows it, and "/" is nobody's settings folder.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return found != nullptr ? AbsoluteOrEmpty(found->pw_dir) : std::string();
}

// The import file is read only when it is a regular file of sane size: a named
// pipe there would block the start for ever, and a device may never end.
bool ReadImportFile(const std::string& path, std::string& out) {
    CPosixFile file = CPosixFile::OpenRegularForReading(path);
    struct stat st {};
    if (!file.IsOpen() || ::fstat(file.Fd(), &st) != 0 ||
        static_cast<std::uintmax_t>(st.st_size) > CSettingsStore::kMaxImportSize)
        return false;
    out.clear();
    char buffer[65536];
    for (;;) { // ends: each turn reads at least one byte, and the total is capped
        const std::size_t room = CSettingsStore::kMaxImportSize + 1 - out.size();
        const ssize_t got = file.Read(buffer, std::min(sizeof buffer, room));
        if (got <= 0)
            return got == 0;
        out.append(buffer, static_cast<std::size_t>(got));
        if (out.size() > CSettingsStore::kMaxImportSize)
            return false; // it grew while being read
    }
}

// A new store takes its name only if nothing has taken it meanwhile: link(2)
// never replaces, and where the file system has no hard links a rename that
// refuses to replace does the same.
bool MoveIntoPlace(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    return errno != EEXIST &&
           ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

} // namespace

std::string CSettingsStore::DefaultFolder() {
    std::string base = AbsoluteOrEmpty(std::getenv("XDG_CONFIG_HOME"));
    if (base.empty()) {
        const std::string home = HomeFolder();
        if (home.empty())
            return {};
        base = home + "/.config";
    }
    return base + "/Veldmark Software";
}

bool CSettingsStore::OpenBaseKey(bool* pbCreatedNew, const std::string& folder,
                                 const std::string& application) {
    m_strFolder = folder;
    m_strApplication = application;
    m_strFile.clear(); // until the file is there, reads give defaults and writes fail
    if (pbCreatedNew != nullptr)
        *pbCreatedNew = false;

    std::string file = folder + "/" + application + ".conf";
    if (folder.empty() || !QDir().mkpath(LocalPath(folder)))
        return false;
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        if (pbCreatedNew != nullptr)
            *pbCreatedNew = true;
    } else {
        struct stat st {};
        if (errno != EEXIST || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
    }
    m_strFile = std::move(file);
    return true;
}

bool CSettingsStore::OpenAndImport(bool* pbCreatedNew) {
    const std::string folder = DefaultFolder();
    const std::string application = "Linkvet";
    const std::string file = folder + "/" + application + ".conf";
    struct stat st {};
    if (folder.empty() || ::lstat(file.c_str(), &st) == 0 || errno != ENOENT)
        return OpenBaseKey(pbCreatedNew, folder, application); // no import into an old store

    // The new store is built and filled under a name of its own, which no run
    // takes for a store, and gets its real name only when it is complete.
    m_strFolder = folder;
    m_strApplication = application;
    m_strFile.clear();
    if (pbCreatedNew != nullptr)
        *pbCreatedNew = false;
    if (!QDir().mkpath(LocalPath(folder)))
        return false;
    std::string aside = file + ".import-XXXXXX";
    const int fd = ::mkostemp(aside.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        m_strFile = aside;
        ImportIniFile();
        if (m_fnBeforeMove)
            m_fnBeforeMove();
        if (MoveIntoPlace(aside, file)) {
            m_strFile = file;
            if (pbCreatedNew != nullptr)
                *pbCreatedNew = true;
            return true;
        }
        ::unlink(aside.c_str());
    }
    // Another run's store took the name first and is used as it is; or this file
    // system can neither link nor rename without replacing, and the store is
    // created and filled in two steps.
    bool bCreatedNew = false;
    if (!OpenBaseKey(&bCreatedNew, folder, application))
        return false;
    if (bCreatedNew)
        ImportIniFile();
    if (pbCreatedNew != nullptr)
        *pbCreatedNew = bCreatedNew;
    return true;
}

std::string CSettingsStore::IniFilePath() const {
    return m_strFolder + "/" + m_strApplication + ".INI";
}

bool CSettingsStore::ReadRaw(const std::string& section, const std::string& name,
                             std::string& out) const {
    if (m_strFile.empty())
        return false;
    QSettings settings(LocalPath(m_strFile), QSettings::IniFormat);
    if (settings.status() == QSettings::AccessError)
        return false;
    if (!section.empty())
        settings.beginGroup(EncodeKey(section));
    QVariant v = settings.value(EncodeKey(name));
    if (!v.isValid())
        return false;
    std::string value = VariantToValue(v);
    value.resize(std::min(value.size(), value.find('\0')));
    if (value.size() + 1 > kMaxReadSize)
        return false;
    out = std::move(value);
    return true;
}

int CSettingsStore::GetInt(const std::string& section, const std::string& name,
                           int defaultValue) const {
    std::string text;
    if (!ReadRaw(section, name, text))
        return defaultValue;
    const auto value = AsciiText::ParseDecimal(text, AsciiText::EDecimal::Scanf, INT_MAX);
    return value ? static_cast<int>(*value) : defaultValue;
}

std::string CSettingsStore::GetString(const std::string& section, const std::string& name,
                                      const std::string& defaultValue) const {
    std::string text;
    if (!ReadRaw(section, name, text))
        return defaultValue;
    return text;
}

bool CSettingsStore::SetInt(const std::string& section, const std::string& name, int value) {
    return SetString(section, name, std::to_string(value));
}

bool CSettingsStore::SetString(const std::string& section, const std::string& name,
                               const std::string& value) {
    std::unique_ptr<QSettings> settings = OpenForWriting();
    if (!settings)
        return false;
    if (!section.empty())
        settings->beginGroup(EncodeKey(section));
    settings->setValue(EncodeKey(name), ValueToVariant(value.substr(0, value.find('\0'))));
    settings->sync();
    return settings->status() == QSettings::NoError;
}

std::unique_ptr<QSettings> CSettingsStore::OpenForWriting() {
    if (m_strFile.empty())
        return nullptr;
    const QString path = LocalPath(m_strFile);
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    (void)settings->allKeys(); // the file is parsed on first use
    if (settings->status() == QSettings::AccessError)
        return nullptr; // never overwrite a file that could not be read
    if (settings->status() == QSettings::FormatError) {
        // Lines that make no sense are dropped at the next write; every value that
        // could be read is kept. A fresh object reports only the write's own status.
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    return settings;
}

void CSettingsStore::ParseIni(std::string_view bytes, const FnIniEntry& onEntry) {
    std::string section;
    bool bInSection = false;
    std::size_t lineEnd = 0; // just past the line feed that ends pos's line; found once per line
    for (std::size_t pos = 0; pos < bytes.size();) {
        // As a 520-byte line buffer reads it: up to and including the line feed,
        // but at most 519 bytes; the rest of a longer line follows as a piece of
        // its own. A NUL ends the text of a piece.
        if (pos >= lineEnd) {
            lineEnd = bytes.find('\n', pos);
            lineEnd = lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1;
        }
        const std::size_t end = std::min(lineEnd, pos + kImportPieceSize);
        std::string_view piece = bytes.substr(pos, end - pos);
        pos = end;
        piece = piece.substr(0, piece.find('\0'));

        std::string line = TrimmedC(piece);
        const std::size_t open = line.find('[');
        const std::size_t close = line.find(']');
        if (!line.empty() && open == 0 && close == line.size() - 1) {
            line[open] = ' ';
            line[close] = ' ';
            section = TrimmedC(line);
            bInSection = true;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && bInSection)
            onEntry(section, std::string_view(line).substr(0, eq),
                    std::string_view(line).substr(eq + 1));
    }
}

int CSettingsStore::ImportIniFile() {
    std::string bytes;
    if (!ReadImportFile(IniFilePath(), bytes))
        return 0;
    std::unique_ptr<QSettings> settings = OpenForWriting();
    if (!settings)
        return 0;
    int stored = 0;
    ParseIni(bytes, [&](std::string_view section, std::string_view name, std::string_view value) {
        // Encoded keys hold no "/", so section and name join into one path.
        QString key = EncodeKey(std::string(name));
        if (!section.empty())
            key = EncodeKey(std::string(section)) + QLatin1Char('/') + key;
        settings->setValue(key, ValueToVariant(std::string(value)));
        ++stored;
    });
    settings->sync();
    return settings->status() == QSettings::NoError ? stored : 0;
}
