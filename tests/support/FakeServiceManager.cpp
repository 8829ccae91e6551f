#include "FakeServiceManager.h"

#include <QDir>
#include <QFile>

namespace talvor::test {

namespace {

// $FAKE: the fake's folder. Units it holds are files in loaded/; those of `systemd-run` are
// loaded from the start. list-units takes shell patterns, as systemctl does. As an older
// manager it finds only the unit files there were at its last reload.
const char* const kSystemctl = R"(#!/bin/sh
FAKE='@FAKE@'
[ "$1" = --user ] && shift
printf 'systemctl %s\n' "$*" >> "$FAKE/calls"
if [ -e "$FAKE/hang" ] && [ "$1" != show ]; then exec sleep 5; fi
if [ -e "$FAKE/fail-$1" ]; then echo "Failed to $1: the fake says no" >&2; exit 1; fi
command=$1
shift
case "$command" in
show)
  echo "Version=252"
  echo "UnitPath=$FAKE/runtime/systemd/user.control $FAKE/runtime/systemd/user /usr/lib/systemd/user" ;;
list-units)
  for file in "$FAKE"/loaded/*; do
    [ -e "$file" ] || continue
    unit=${file##*/}
    for pattern; do
      case "$pattern" in -*) continue ;; esac
      case "$unit" in $pattern) echo "$unit loaded active waiting fake"; break ;; esac
    done
  done ;;
daemon-reload)
  ls -a "$FAKE/runtime/systemd/user" > "$FAKE/known" ;;
start)
  if [ -e "$FAKE/slow-start" ]; then
    seconds=$(cat "$FAKE/slow-start")
    rm -f "$FAKE/slow-start"
    sleep "$seconds"
  fi
  for unit; do
    case "$unit" in -*) continue ;; esac
    if [ ! -e "$FAKE/runtime/systemd/user/$unit" ] ||
       { [ -e "$FAKE/old-manager" ] && ! grep -qx "$unit" "$FAKE/known" 2>/dev/null; }; then
      echo "Unit $unit not found." >&2
      exit 5
    fi
    : > "$FAKE/loaded/$unit"
  done ;;
stop)
  for unit; do rm -f "$FAKE/loaded/$unit"; done ;;
esac
exit 0
)";

const char* const kSystemdRun = R"(#!/bin/sh
printf 'systemd-run %s\n' "$*" >> '@FAKE@/calls'
)";

void writeTool(const QString& path, const char* text, const QString& fake) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QByteArray(text).replace("@FAKE@", QFile::encodeName(fake)));
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
}

QStringList namesIn(const QString& folder) {
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

}  // namespace

FakeServiceManager::FakeServiceManager() {
    for (const char* folder : {"bin", "loaded", "runtime/systemd/user"}) {
        QDir(dir_.path()).mkpath(QString::fromLatin1(folder));
    }
    QFile::setPermissions(path(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeTool(path(QStringLiteral("bin/systemctl")), kSystemctl, dir_.path());
    writeTool(path(QStringLiteral("bin/systemd-run")), kSystemdRun, dir_.path());
    path_ = std::make_unique<ScopedEnvVar>(
        "PATH", path(QStringLiteral("bin")) + QLatin1Char(':') + qEnvironmentVariable("PATH"));
    runtime_ = std::make_unique<ScopedEnvVar>("XDG_RUNTIME_DIR", path(QStringLiteral("runtime")));
}

FakeServiceManager::~FakeServiceManager() = default;

QString FakeServiceManager::path(const QString& name) const {
    return dir_.filePath(name);
}

QStringList FakeServiceManager::calls() const {
    QFile f(path(QStringLiteral("calls")));
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void FakeServiceManager::clearCalls() {
    QFile::remove(path(QStringLiteral("calls")));
}

QString FakeServiceManager::unitFolder() const {
    return path(QStringLiteral("runtime/systemd/user"));
}

QStringList FakeServiceManager::unitFiles() const {
    return namesIn(unitFolder());
}

QStringList FakeServiceManager::loadedUnits() const {
    return namesIn(path(QStringLiteral("loaded")));
}

void FakeServiceManager::addTransientUnit(const QString& unit) {
    QFile(path(QStringLiteral("loaded/") + unit)).open(QIODevice::WriteOnly);
}

void FakeServiceManager::failCommand(const QString& command) {
    QFile(path(QStringLiteral("fail-") + command)).open(QIODevice::WriteOnly);
}

void FakeServiceManager::findNewUnitsOnlyAfterAReload() {
    QFile(path(QStringLiteral("old-manager"))).open(QIODevice::WriteOnly);
}

void FakeServiceManager::delayNextStart(int seconds) {
    QFile f(path(QStringLiteral("slow-start")));
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QByteArray::number(seconds));
    }
}

void FakeServiceManager::hang(bool on) {
    if (on) {
        QFile(path(QStringLiteral("hang"))).open(QIODevice::WriteOnly);
    } else {
        QFile::remove(path(QStringLiteral("hang")));
    }
}

}  // namespace talvor::test
