// The images this program flashed signed, kept beside the backups
// (signed-images/ in the backup folder): each image as it was signed and its
// signature, named by the image's SHA-256. A backup carries no signature of
// its own; where signed images are required, putting one back needs the
// signature of the image it holds, and it is found here. The files are the
// user's and prove nothing by themselves: a signature found here counts only
// when it is good by a key trusted now.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrane {

class SignedImageStore {
 public:
  // `backup_folder`: the one backup folder; empty: no store.
  explicit SignedImageStore(const std::string& backup_folder);

  struct Entry {
    std::vector<std::uint8_t> image;  // the bytes the signature covers
    std::string signature_text;
    std::string signature_path;
  };

  // Keeps `image` and its signature (a no-op when already kept). False with
  // `error` set when it cannot be written.
  bool Keep(std::span<const std::uint8_t> image, const std::string& signature_text, std::string* error) const;
  // The kept images that `bytes`, written from address 0, would put back
  // (RestoresImage), each with its signature, unchecked.
  std::vector<Entry> ImagesRestoredBy(std::span<const std::uint8_t> bytes) const;

  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
};

// True when `bytes` written from address 0 leave the signed `image` in the
// EEPROM as its header describes it: the same bytes (the feedback block
// 0x1712-0x1715 aside, which is the DAC's settings, not firmware), at least
// as far as the header's image length and no further than the image goes.
bool RestoresImage(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> image);

}  // namespace veltrane
