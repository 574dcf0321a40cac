#include "service/signed_image_store.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "device/hid_device_link.h"
#include "device/image_file.h"
#include "device/platform/file_names.h"
#include "service/sha256.h"
#include "service/signing_files.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

constexpr char kImageSuffix[] = ".bin";
constexpr char kSignatureSuffix[] = ".minisig";
constexpr std::size_t kFeedbackBlockLength = 4;

bool InFeedbackBlock(std::size_t at) {
  return at >= kFeedbackBlockAddress && at < kFeedbackBlockAddress + kFeedbackBlockLength;
}

// Writes beside, then renames over: a reader never finds half a file.
bool WriteWhole(const fs::path& path, std::span<const char> bytes, std::string* error) {
  fs::path part = path;
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      *error = NameOf(part) + ": cannot be written";
      return false;
    }
  }
  std::error_code ec;
  fs::rename(part, path, ec);
  if (ec) {
    *error = NameOf(path) + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

SignedImageStore::SignedImageStore(const std::string& backup_folder)
    : folder_(backup_folder.empty() ? "" : JoinPath(backup_folder, "signed-images")) {}

bool SignedImageStore::Keep(std::span<const std::uint8_t> image, const std::string& signature_text,
                            std::string* error) const {
  if (folder_.empty()) return true;
  const std::string name = Sha256Hex(image);
  const fs::path dir = PathOf(folder_);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    *error = folder_ + ": " + ec.message();
    return false;
  }
  const fs::path signature = dir / PathOf(name + kSignatureSuffix);
  if (!WriteWhole(dir / PathOf(name + kImageSuffix),
                  {reinterpret_cast<const char*>(image.data()), image.size()}, error)) {
    return false;
  }
  return WriteWhole(signature, {signature_text.data(), signature_text.size()}, error);
}

std::vector<SignedImageStore::Entry> SignedImageStore::ImagesRestoredBy(std::span<const std::uint8_t> bytes) const {
  std::vector<Entry> found;
  if (folder_.empty()) return found;
  std::error_code ec;
  for (fs::directory_iterator it(PathOf(folder_), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() != kImageSuffix) continue;
    const ImageFile image = ReadImageFile(NameOf(it->path()), kMaxEepromImage);
    // A file whose name is not its SHA-256 was not kept here.
    if (!image.Ok() || Sha256Hex(image.bytes) != NameOf(it->path().stem())) continue;
    if (!RestoresImage(bytes, image.bytes)) continue;
    fs::path signature = it->path();
    signature.replace_extension(kSignatureSuffix);
    Entry entry;
    std::string problem;
    if (ReadSigningFile(NameOf(signature), &entry.signature_text, &problem) != SmallFileRead::kOk) continue;
    entry.image = image.bytes;
    entry.signature_path = NameOf(signature);
    found.push_back(std::move(entry));
  }
  return found;
}

bool RestoresImage(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> image) {
  if (bytes.size() > image.size()) return false;
  std::size_t described = image.size();
  if (image.size() >= kImageHeaderSize) {
    const std::size_t stated = image[16] * 256u + image[17];
    if (stated >= kImageHeaderSize && stated < described) described = stated;
  }
  if (bytes.size() < described) return false;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (bytes[at] != image[at] && !InFeedbackBlock(at)) return false;
  }
  return true;
}

}  // namespace veltrane
