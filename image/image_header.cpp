#include "image/image_header.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "device/image_file.h"

#include "device/hid_device_link.h"
#include "image/image_texts.h"

namespace veltrane {

std::uint8_t ImageHeader::ComputedChecksum() const {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < kImageHeaderSize; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  return sum;
}

HeaderRead ReadImageHeader(const std::string& path, ImageHeader* header) {
  // A file longer than the header is read only as far as the header.
  const ImageFile file = ReadImageFile(path, kImageHeaderSize);
  if (file.status == ImageFileStatus::kMissing || file.status == ImageFileStatus::kUnreadable) {
    return HeaderRead::kOpenFailed;
  }
  *header = ImageHeader{};
  std::copy(file.bytes.begin(), file.bytes.end(), header->bytes);
  return file.bytes.size() == kImageHeaderSize ? HeaderRead::kOk : HeaderRead::kTooShort;
}

void ParseRevision(std::string text, std::uint16_t* destination) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  const std::string word = text.substr(0, text.find(' '));
  std::uint16_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const char c = i < word.size() ? word[i] : '0';
    int digit = 0;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    value = static_cast<std::uint16_t>(value * 16 + digit);
  }
  *destination = value;
}

std::string RevisionField(const std::string& hardware_id) {
  std::string upper = hardware_id;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start <= upper.size()) {
    const std::size_t end = std::min(upper.find('&', start), upper.size());
    if (end > start) fields.push_back(upper.substr(start, end - start));
    start = end + 1;
  }
  std::string field = fields.size() >= 3 ? fields[2] : std::string();
  for (std::size_t at; (at = field.find("REV_")) != std::string::npos;) field.erase(at, 4);
  return field;
}

bool ReadDeviceIdentity(HidDeviceLink& link, DeviceIdentity* identity) {
  // The link's hardware ID comes upper-cased from the one matcher.
  identity->hardware_id = link.GetHardwareId();
  if (identity->hardware_id.empty()) return false;
  link.GetDeviceIds(&identity->vendor_id, &identity->product_id);
  ParseRevision(RevisionField(identity->hardware_id), &identity->revision);
  return true;
}

bool ProductsCompatible(std::uint16_t device_product, std::uint16_t image_product) {
  if (device_product == image_product) return true;
  return (device_product == 4 && image_product == 6) || (device_product == 6 && image_product == 4);
}

std::string IncompatibleMessage(std::uint16_t device_vendor, std::uint16_t device_product,
                                std::uint16_t image_vendor, std::uint16_t image_product) {
  char text[160];
  std::snprintf(text, sizeof text, image_texts::kIncompatibleFormat, device_vendor, device_product,
                image_vendor, image_product);
  return text;
}

std::size_t ImageLimitFor(std::uint16_t product_id) {
  return IsBulkProduct(product_id) ? kMaxBulkImage : kMaxEepromImage;
}

namespace {

ImageCheck Refused(Verdict verdict, const char* message, ImageProblem problem) {
  ImageCheck check;
  check.verdict = verdict;
  check.message = message;
  check.problem = problem;
  return check;
}

// An EEPROM image streamed into a bulk receiver is no firmware for it: the
// magic bytes and our vendor ID where an EEPROM image keeps them.
bool CarriesEepromHeader(const std::vector<std::uint8_t>& image) {
  return image.size() >= kImageHeaderSize && image[2] == kImageMagic0 && image[3] == kImageMagic1 &&
         (image[4] | image[5] << 8) == kVendorId;
}

ImageCheck JudgeBulkBytes(const std::vector<std::uint8_t>& image) {
  if (image.empty()) {
    return Refused(Verdict::kInvalidImage, image_texts::kInvalidImage, ImageProblem::kEmpty);
  }
  if (image.size() > kMaxBulkImage) {
    return Refused(Verdict::kInvalidImage, image_texts::kInvalidImage, ImageProblem::kTooLarge);
  }
  if (CarriesEepromHeader(image)) {
    return Refused(Verdict::kInvalidImage, image_texts::kInvalidImage, ImageProblem::kEepromImageForBulk);
  }
  ImageCheck check;
  check.verdict = Verdict::kReady;
  return check;
}

}  // namespace

ImageCheck JudgeImage(const ImageFile& file, const DeviceIdentity& device) {
  if (file.status == ImageFileStatus::kMissing || file.status == ImageFileStatus::kUnreadable) {
    return Refused(Verdict::kOpenFailed, image_texts::kFailedOpenFile, ImageProblem::kUnreadable);
  }
  if (file.status == ImageFileStatus::kTooLarge) {
    return Refused(Verdict::kInvalidImage, image_texts::kInvalidImage, ImageProblem::kTooLarge);
  }
  return JudgeImage(file.bytes, device);
}

ImageCheck JudgeImage(const std::vector<std::uint8_t>& image, const DeviceIdentity& device) {
  if (IsBulkProduct(device.product_id)) return JudgeBulkBytes(image);
  if (image.size() < kImageHeaderSize) {
    // A file shorter than its header cannot be a valid image.
    return Refused(Verdict::kInvalidImage, image_texts::kInvalidImage, ImageProblem::kTruncated);
  }
  ImageCheck check;
  check.has_header = true;
  std::copy(image.begin(), image.begin() + kImageHeaderSize, check.header.bytes);
  const ImageHeader& header = check.header;
  if (image.size() > kMaxEepromImage) {
    // The 16-bit EEPROM address would wrap round and overwrite the image's own start.
    check.verdict = Verdict::kInvalidImage;
    check.message = image_texts::kInvalidImage;
    check.problem = ImageProblem::kTooLarge;
  } else if (!header.ChecksumValid() || !header.MagicValid()) {
    check.verdict = Verdict::kInvalidImage;
    check.message = image_texts::kInvalidImage;
  } else if (image.size() < header.Length()) {
    // Nothing but the header's length reveals a cut file (an interrupted
    // download): flashed, it would leave the new start over the old rest.
    check.verdict = Verdict::kInvalidImage;
    check.message = image_texts::kInvalidImage;
    check.problem = ImageProblem::kCut;
  } else if (header.VendorId() != device.vendor_id ||
             !ProductsCompatible(device.product_id, header.ProductId())) {
    check.verdict = Verdict::kIncompatible;
    check.message =
        IncompatibleMessage(device.vendor_id, device.product_id, header.VendorId(), header.ProductId());
  } else if (header.Version() > device.revision) {
    check.verdict = Verdict::kReady;
  } else {
    check.verdict = Verdict::kNotNewer;
    check.message = image_texts::kLatestUpdate;
  }
  return check;
}

ImageCheck JudgeImage(const std::string& path, const DeviceIdentity& device) {
  return JudgeImage(ReadImageFile(path, ImageLimitFor(device.product_id)), device);
}

ImageCheck JudgeBulkImage(const std::string& path) {
  DeviceIdentity bulk;
  bulk.product_id = 16;
  return JudgeImage(ReadImageFile(path, kMaxBulkImage), bulk);
}

StoredImageState ClassifyStoredImage(const ImageHeader& header) {
  if (!header.MagicValid()) return StoredImageState::kBlank;
  if (header.ChecksumValid()) return StoredImageState::kValid;
  if (static_cast<std::uint8_t>(~header.bytes[0]) == header.ComputedChecksum()) {
    return StoredImageState::kIncomplete;
  }
  return StoredImageState::kBlank;
}

const char* StateName(StoredImageState state, const char* blank_word) {
  switch (state) {
    case StoredImageState::kValid: return "valid";
    case StoredImageState::kIncomplete: return "incomplete";
    case StoredImageState::kBlank: break;
  }
  return blank_word;
}

bool PackImage(std::uint16_t vendor_id, std::uint16_t product_id, std::uint16_t version,
               const std::vector<std::uint8_t>& body, std::vector<std::uint8_t>* image) {
  const std::size_t length = kImageHeaderSize + body.size();
  if (length > 0xFFFF) return false;
  image->assign(kImageHeaderSize, 0);
  std::uint8_t* h = image->data();
  h[2] = kImageMagic0;
  h[3] = kImageMagic1;
  h[4] = static_cast<std::uint8_t>(vendor_id);
  h[5] = static_cast<std::uint8_t>(vendor_id >> 8);
  h[6] = static_cast<std::uint8_t>(product_id);
  h[7] = static_cast<std::uint8_t>(product_id >> 8);
  h[8] = static_cast<std::uint8_t>(version);
  h[9] = static_cast<std::uint8_t>(version >> 8);
  h[16] = static_cast<std::uint8_t>(length >> 8);
  h[17] = static_cast<std::uint8_t>(length);
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < kImageHeaderSize; ++i) sum = static_cast<std::uint8_t>(sum + h[i]);
  h[0] = sum;
  image->insert(image->end(), body.begin(), body.end());
  return true;
}

}  // namespace veltrane
