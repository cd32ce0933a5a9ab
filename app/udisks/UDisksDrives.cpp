#include "app/udisks/UDisksDrives.h"

#include <fcntl.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/MessageBox.h"

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManager = QStringLiteral("/org/freedesktop/UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kPartition = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString kLoop = QStringLiteral("org.freedesktop.UDisks2.Loop");
const QString kNoDrive = QStringLiteral("/");

// The service is started on demand by the bus, which takes a moment the first time.
constexpr int kListTimeoutMs = 10'000;
// Opening waits while polkit asks the user: long enough to find and type a password.
constexpr int kOpenTimeoutMs = 10 * 60'000;

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = std::map<QString, Interfaces>;

// The objects of GetManagedObjects' answer, a{oa{sa{sv}}}.
ManagedObjects ReadManagedObjects(const QDBusArgument& answer) {
  ManagedObjects objects;
  answer.beginMap();
  while (!answer.atEnd()) {
    QDBusObjectPath path;
    Interfaces interfaces;
    answer.beginMapEntry();
    answer >> path >> interfaces;
    answer.endMapEntry();
    objects.emplace(path.path(), std::move(interfaces));
  }
  answer.endMap();
  return objects;
}

// A byte-string property (ay), such as a device file, up to its terminating zero.
std::string Bytes(const QVariantMap& properties, const char* name) {
  const QByteArray bytes = properties.value(QString::fromLatin1(name)).toByteArray();
  return std::string(bytes.constData(), ::strnlen(bytes.constData(), static_cast<size_t>(bytes.size())));
}

std::string Text(const QVariantMap& properties, const char* name) {
  return properties.value(QString::fromLatin1(name)).toString().trimmed().toStdString();
}

QString ObjectPath(const QVariantMap& properties, const char* name) {
  return properties.value(QString::fromLatin1(name)).value<QDBusObjectPath>().path();
}

// Items joined one a line, the empty ones left out.
std::string Lines(std::initializer_list<std::string> items) {
  std::string text;
  for (const std::string& item : items) {
    if (item.empty()) continue;
    if (!text.empty()) text += '\n';
    text += item;
  }
  return text;
}

MediaKind KindOf(const QVariantMap& drive) {
  const QString media = drive.value(QStringLiteral("Media")).toString();
  const QStringList compatible = drive.value(QStringLiteral("MediaCompatibility")).toStringList();
  const auto takes = [&](const QString& prefix) {
    return media.startsWith(prefix) ||
           std::any_of(compatible.begin(), compatible.end(), [&](const QString& m) { return m.startsWith(prefix); });
  };
  if (drive.value(QStringLiteral("Optical")).toBool() || takes(QStringLiteral("optical"))) return MediaKind::kOptical;
  if (takes(QStringLiteral("floppy"))) return MediaKind::kFloppy;
  if (drive.value(QStringLiteral("Removable")).toBool() || drive.value(QStringLiteral("MediaRemovable")).toBool()) {
    return MediaKind::kRemovable;
  }
  return MediaKind::kHardDisk;
}

std::string MadeBy(const QVariantMap& drive) {
  const std::string vendor = Text(drive, "Vendor");
  const std::string model = Text(drive, "Model");
  return vendor.empty() || model.empty() ? vendor + model : vendor + " " + model;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// RAM disks and loop devices with nothing behind them are no media, as in the sysfs list.
bool IsMedium(const std::string& name, const Interfaces& interfaces) {
  if (name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0) return false;
  const auto loop = interfaces.constFind(kLoop);
  return loop == interfaces.constEnd() || !Bytes(*loop, "BackingFile").empty();
}

// One block object as list facts; nothing for those the list leaves out.
std::optional<BlockFacts> FactsOf(const Interfaces& interfaces, const ManagedObjects& objects) {
  const QVariantMap block = interfaces.value(kBlock);
  BlockFacts facts;
  facts.devicePath = Bytes(block, "Device");
  facts.name = BaseName(facts.devicePath);
  if (facts.devicePath.empty() || block.value(QStringLiteral("HintIgnore")).toBool()) return std::nullopt;
  facts.bytes = block.value(QStringLiteral("Size")).toULongLong();
  facts.isPartition = interfaces.contains(kPartition);

  // A partition takes its kind from its disk, the block object of its partition table.
  const Interfaces* disk = &interfaces;
  if (facts.isPartition) {
    const auto table = objects.find(ObjectPath(interfaces.value(kPartition), "Table"));
    if (table != objects.end()) disk = &table->second;
  }
  const QVariantMap diskBlock = disk->value(kBlock);
  if (!IsMedium(BaseName(Bytes(diskBlock, "Device")), *disk)) return std::nullopt;
  facts.diskBytes = diskBlock.value(QStringLiteral("Size")).toULongLong();
  const auto drive = objects.find(ObjectPath(diskBlock, "Drive"));
  const QVariantMap driveProperties = drive != objects.end() ? drive->second.value(kDrive) : QVariantMap();
  facts.kind = KindOf(driveProperties);
  const std::string backingFile = Bytes(disk->value(kLoop), "BackingFile");
  facts.details = facts.isPartition ? Lines({Text(block, "IdLabel"), Text(block, "IdType"), MadeBy(driveProperties), backingFile})
                                    : Lines({MadeBy(driveProperties), backingFile});
  return facts;
}

DriveOpening Refused(const std::string& text, const char* caption) {
  DriveOpening opening;
  opening.kind = DriveOpening::Kind::kRefused;
  opening.message = text;
  opening.caption = caption;
  return opening;
}

// What the user is told when the service did not open the drive; nothing when it is gone and
// the device file is to be tried instead.
std::optional<DriveOpening> RefusalOf(const QDBusMessage& answer, const std::string& device) {
  const QString name = answer.errorName();
  const QString path = QString::fromStdString(device);
  if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
      name == QLatin1String("org.freedesktop.DBus.Error.Disconnected") ||
      name == QLatin1String("org.freedesktop.DBus.Error.NoServer")) {
    return std::nullopt;
  }
  if (name == QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed") ||
      name == QLatin1String("org.freedesktop.UDisks2.Error.Cancelled")) {
    return Refused(QString::fromLatin1(kDismissedText).arg(path).toStdString(), kApplicationTitle);
  }
  if (name.startsWith(QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorized")) ||
      name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied")) {
    return Refused(QString::fromLatin1(kNotAuthorizedText).arg(path, answer.errorMessage()).toStdString(),
                   kApplicationTitle);
  }
  if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
      name == QLatin1String("org.freedesktop.DBus.Error.Timeout")) {
    return Refused(QString::fromLatin1(kNoAnswerText).arg(path).toStdString(), kApplicationTitle);
  }
  return Refused("Failed to open the drive for reading.\n" + answer.errorMessage().toStdString(), kErrorCaption);
}

}  // namespace

std::optional<DriveListing> UDisksDrives::List() {
  if (!bus_.isConnected()) return std::nullopt;
  const QDBusMessage call = QDBusMessage::createMethodCall(
      kService, kManager, QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
  const QDBusMessage answer = bus_.call(call, QDBus::Block, kListTimeoutMs);
  if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().size() != 1 ||
      !answer.arguments().front().canConvert<QDBusArgument>()) {
    return std::nullopt;
  }
  const ManagedObjects objects = ReadManagedObjects(answer.arguments().front().value<QDBusArgument>());
  std::vector<BlockFacts> devices;
  blocks_.clear();
  for (const auto& [path, interfaces] : objects) {
    if (!interfaces.contains(kBlock)) continue;
    if (std::optional<BlockFacts> facts = FactsOf(interfaces, objects)) {
      blocks_[facts->devicePath] = path;
      devices.push_back(std::move(*facts));
    }
  }
  DriveListing listing;
  listing.entries = DriveEntries(std::move(devices));
  return listing;
}

DriveOpening UDisksDrives::Open(const DriveEntry& entry) {
  const auto block = blocks_.find(entry.devicePath);
  if (block == blocks_.end()) return {};
  // Leave to ask: polkit may show its password dialog while the call waits.
  const QVariantMap options{{QStringLiteral("auth.no_user_interaction"), false}};
  QDBusMessage call = QDBusMessage::createMethodCall(kService, block->second, kBlock, QStringLiteral("OpenDevice"));
  call << QStringLiteral("r") << options;
  call.setInteractiveAuthorizationAllowed(true);
  QDBusMessage answer = bus_.call(call, QDBus::Block, kOpenTimeoutMs);
  if (answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
    // UDisks2 before 2.7.3 opens a device read-only only for a backup.
    call = QDBusMessage::createMethodCall(kService, block->second, kBlock, QStringLiteral("OpenForBackup"));
    call << options;
    call.setInteractiveAuthorizationAllowed(true);
    answer = bus_.call(call, QDBus::Block, kOpenTimeoutMs);
  }
  if (answer.type() != QDBusMessage::ReplyMessage) {
    std::optional<DriveOpening> refusal = RefusalOf(answer, entry.devicePath);
    return refusal ? std::move(*refusal) : DriveOpening{};
  }
  const QDBusUnixFileDescriptor handed =
      answer.arguments().isEmpty() ? QDBusUnixFileDescriptor() : answer.arguments().front().value<QDBusUnixFileDescriptor>();
  if (!handed.isValid()) {
    return Refused("Failed to open the drive for reading.\nThe disk service (UDisks2) handed back no descriptor.",
                   kErrorCaption);
  }
  DriveOpening opening;
  opening.kind = DriveOpening::Kind::kHanded;
  // The answer's descriptor closes with it; the reader gets one of its own.
  opening.descriptor = HandedDescriptor(::fcntl(handed.fileDescriptor(), F_DUPFD_CLOEXEC, 0));
  return opening;
}

DriveListing DesktopDrives::List() {
  std::optional<DriveListing> listing = udisks_.List();
  throughUDisks_ = listing.has_value();
  return throughUDisks_ ? std::move(*listing) : sysfs_.List();
}

DriveOpening DesktopDrives::Open(const DriveEntry& entry) {
  return throughUDisks_ ? udisks_.Open(entry) : sysfs_.Open(entry);
}
