// Firmware image header rules: the 18-byte header at the start of every
// image, the device identity it is judged against, and the verdict.
//
//   0      checksum: sum of bytes 1..17 modulo 256
//   2, 3   magic 0x12 0x34
//   4..5   vendor ID, little-endian
//   6..7   product ID, little-endian
//   8..9   image version, little-endian
//   16..17 image length, big-endian (the EEPROM download's progress total)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/hid_device_link.h"
#include "device/image_file.h"

namespace veltrane {

inline constexpr std::uint8_t kImageMagic0 = 0x12;
inline constexpr std::uint8_t kImageMagic1 = 0x34;

struct ImageHeader {
  std::uint8_t bytes[kImageHeaderSize] = {};

  std::uint8_t Checksum() const { return bytes[0]; }
  std::uint16_t VendorId() const { return static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8); }
  std::uint16_t ProductId() const { return static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8); }
  std::uint16_t Version() const { return static_cast<std::uint16_t>(bytes[8] | bytes[9] << 8); }
  std::uint16_t Length() const { return static_cast<std::uint16_t>(bytes[16] << 8 | bytes[17]); }
  // The sum of bytes 1..17 modulo 256, which byte 0 must equal.
  std::uint8_t ComputedChecksum() const;
  bool ChecksumValid() const { return ComputedChecksum() == bytes[0]; }
  bool MagicValid() const { return bytes[2] == kImageMagic0 && bytes[3] == kImageMagic1; }
};

enum class HeaderRead { kOk, kOpenFailed, kTooShort };

// Reads the first 18 bytes of the file at `path` (never more).
HeaderRead ReadImageHeader(const std::string& path, ImageHeader* header);

// Who the connected device is, as the firmware page records it.
struct DeviceIdentity {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::uint16_t revision = 0;
  std::string hardware_id;
};

// Records who the device on an open link is: its hardware ID (upper case),
// vendor and product ID, and the revision from the ID's REV_ field. False when
// no hardware ID matches; then only the hardware ID has changed (to empty).
bool ReadDeviceIdentity(HidDeviceLink& link, DeviceIdentity* identity);

// Products 16 and 17 take bulk images, which carry no header to judge.
inline bool IsBulkProduct(std::uint16_t product_id) { return product_id == 16 || product_id == 17; }

// Reads the first four characters before the first blank as hexadecimal
// digits; any other character, and a missing one, counts as the digit 0.
void ParseRevision(std::string text, std::uint16_t* destination);

// The revision text of a hardware ID: its third "&"-separated field (runs of
// separators count as one), upper-cased, with every "REV_" removed.
std::string RevisionField(const std::string& hardware_id);

// Products 4 and 6 take each other's images.
bool ProductsCompatible(std::uint16_t device_product, std::uint16_t image_product);

enum class Verdict {
  kReady,         // newer and compatible: may be written
  kOpenFailed,    // "Failed open file!"
  kInvalidImage,  // checksum, magic bytes or a file too short
  kIncompatible,  // vendor or product ID do not fit
  kNotNewer,      // "Device has latest update!": the user may still choose to write it
};

// What is wrong with the bytes themselves, for callers that say more than the
// described message (the command line).
enum class ImageProblem {
  kNone,
  kUnreadable,  // the file could not be read (missing, no permission, a directory)
  kEmpty,       // a bulk image with no bytes
  kTruncated,   // shorter than its 18-byte header
  kTooLarge,    // more than the product's transfer takes
  kCut,         // shorter than the image length its header gives (an interrupted download)
  kEepromImageForBulk,  // a bulk product, but the file carries an EEPROM image header
};

struct ImageCheck {
  Verdict verdict = Verdict::kOpenFailed;
  std::string message;  // empty when ready
  ImageHeader header;
  bool has_header = false;  // `header` holds the image's first 18 bytes
  ImageProblem problem = ImageProblem::kNone;
};

// The most bytes an image for `product_id` may hold: the bulk limit for
// products 16 and 17, the EEPROM's address space for every other product.
std::size_t ImageLimitFor(std::uint16_t product_id);

// Judges `image` against `device`. Products 16 and 17 (bulk): ready when not
// empty, within the bulk limit and not an EEPROM image (magic and our vendor
// ID where a header would be: kInvalidImage, problem kEepromImageForBulk,
// which only a forced flash overrides). Every other product: within the
// EEPROM's address space, then checksum, the magic bytes, no shorter than
// the header's image length (a longer file is sent whole), vendor and
// product, and the version against the revision.
ImageCheck JudgeImage(const std::vector<std::uint8_t>& image, const DeviceIdentity& device);

// Judges a file as read (bounded by ImageLimitFor): "Failed open file!" when
// it could not be read, "Invalid Image!" when too large, else its bytes.
ImageCheck JudgeImage(const ImageFile& file, const DeviceIdentity& device);

// Reads the image at `path` (bounded by the product's limit) and judges it.
ImageCheck JudgeImage(const std::string& path, const DeviceIdentity& device);

// Products 16 and 17: an image is ready when it can be opened, is not empty
// and is no larger than the bulk download takes.
ImageCheck JudgeBulkImage(const std::string& path);

std::string IncompatibleMessage(std::uint16_t device_vendor, std::uint16_t device_product,
                                std::uint16_t image_vendor, std::uint16_t image_product);

// What the first 18 bytes of a device's EEPROM say about the image in it.
enum class StoredImageState {
  kValid,       // checksum and magic bytes hold
  kIncomplete,  // the checksum matches the inverted first byte: a write that did not finish
  kBlank,       // neither: blank or unknown contents
};
StoredImageState ClassifyStoredImage(const ImageHeader& header);
// "valid", "incomplete", or for kBlank `blank_word` (a DAC's EEPROM is
// "blank", a file "invalid").
const char* StateName(StoredImageState state, const char* blank_word = "blank");

// Builds an image: a header with the right checksum, magic and length, then
// `body`. False when the result would not fit the 16-bit length field.
bool PackImage(std::uint16_t vendor_id, std::uint16_t product_id, std::uint16_t version,
               const std::vector<std::uint8_t>& body, std::vector<std::uint8_t>* image);

}  // namespace veltrane
