#include "service/file_trust.h"

#include <array>
#include <cstdlib>
#include <vector>

#include "service/signing_texts.h"

namespace veltrane {
namespace {

namespace texts = signing_texts;

constexpr std::uint32_t kGroupWrite = 020;
constexpr std::uint32_t kOthersWrite = 02;

// Rights that let a principal change what a file or folder holds, or who may:
// write or append data (add a file or folder), delete a child, delete, change
// the access list or the owner, and the generic write and all.
constexpr std::uint32_t kWriteRights = 0x0002 | 0x0004 | 0x0040 | 0x00010000 | 0x00040000 | 0x00080000 |
                                       0x02000000 | 0x10000000 | 0x40000000;

// SDDL's two-letter access rights.
struct RightCode {
  const char* code;
  std::uint32_t mask;
};
constexpr std::array<RightCode, 28> kRightCodes = {{
    {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000},
    {"RC", 0x00020000}, {"SD", 0x00010000}, {"WD", 0x00040000}, {"WO", 0x00080000},
    {"RP", 0x00000010}, {"WP", 0x00000020}, {"CC", 0x00000001}, {"DC", 0x00000002},
    {"LC", 0x00000004}, {"SW", 0x00000008}, {"LO", 0x00000080}, {"DT", 0x00000040},
    {"CR", 0x00000100}, {"FA", 0x001F01FF}, {"FR", 0x00120089}, {"FW", 0x00120116},
    {"FX", 0x001200A0}, {"KA", 0x000F003F}, {"KR", 0x00020019}, {"KW", 0x00020006},
    {"KX", 0x00020019}, {"NR", 0},          {"NW", 0},          {"NX", 0},
}};

// The principals that may always change a system file.
constexpr std::array<std::string_view, 5> kAdministration = {
    "SY", "S-1-5-18",      // SYSTEM
    "BA", "S-1-5-32-544",  // Administrators
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

bool Trusted(std::string_view sid, TrustScope scope, std::string_view user_sid) {
  for (const std::string_view s : kAdministration) {
    if (sid == s) return true;
  }
  return scope == TrustScope::kUser && !user_sid.empty() && sid == user_sid;
}

// The mask of an ACE's rights field: hexadecimal, or two-letter codes. False
// when it is neither.
bool RightsOf(std::string_view field, std::uint32_t* mask) {
  *mask = 0;
  if (field.starts_with("0x") || field.starts_with("0X")) {
    const std::string digits(field.substr(2));
    if (digits.empty()) return false;
    char* end = nullptr;
    const unsigned long value = std::strtoul(digits.c_str(), &end, 16);
    if (*end != '\0' || value > 0xFFFFFFFFul) return false;
    *mask = static_cast<std::uint32_t>(value);
    return true;
  }
  if (field.size() % 2 != 0) return false;
  for (std::size_t at = 0; at < field.size(); at += 2) {
    const std::string_view code = field.substr(at, 2);
    bool known = false;
    for (const RightCode& r : kRightCodes) {
      if (code == r.code) {
        *mask |= r.mask;
        known = true;
      }
    }
    if (!known) return false;
  }
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    const std::size_t end = text.find(separator, at);
    parts.push_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) return parts;
    at = end + 1;
  }
}

// The descriptor's parts: owner (O:), group (G:), DACL (D:), SACL (S:). A tag
// is a letter and a colon outside the parentheses of an entry.
struct Descriptor {
  std::string_view owner;
  std::string_view dacl;
  bool has_dacl = false;
};

Descriptor PartsOf(std::string_view sddl) {
  Descriptor d;
  char tag = 0;
  std::size_t start = 0;
  int depth = 0;
  const auto close = [&](std::size_t end) {
    const std::string_view value = sddl.substr(start, end - start);
    if (tag == 'O') d.owner = value;
    if (tag == 'D') {
      d.dacl = value;
      d.has_dacl = true;
    }
  };
  for (std::size_t i = 0; i < sddl.size(); ++i) {
    if (sddl[i] == '(') ++depth;
    if (sddl[i] == ')') --depth;
    const bool is_tag = depth == 0 && i + 1 < sddl.size() && sddl[i + 1] == ':' &&
                        std::string_view("OGDS").find(sddl[i]) != std::string_view::npos;
    if (!is_tag) continue;
    if (tag != 0) close(i);
    tag = sddl[i];
    start = i + 2;
    ++i;
  }
  if (tag != 0) close(sddl.size());
  return d;
}

}  // namespace

std::string JudgeOwnerAndMode(TrustScope scope, const std::string& path, std::uint32_t owner, std::uint32_t mode,
                              std::uint32_t user, std::uint32_t system_owner) {
  const std::string who = std::to_string(owner);
  if (scope == TrustScope::kSystem) {
    if (owner != system_owner) return texts::FillIn(texts::kNotOwnedBySystem, {path, who});
    if ((mode & kGroupWrite) != 0) return texts::FillIn(texts::kGroupMayWrite, {path});
  } else if (owner != user && owner != system_owner) {
    return texts::FillIn(texts::kNotOwnedByUser, {path, who});
  }
  if ((mode & kOthersWrite) != 0) return texts::FillIn(texts::kAnyoneMayWrite, {path});
  return {};
}

std::string JudgeSecurityDescriptor(TrustScope scope, const std::string& path, std::string_view sddl,
                                    std::string_view user_sid) {
  const Descriptor d = PartsOf(sddl);
  if (d.owner.empty()) return texts::FillIn(texts::kDescriptorUnreadable, {path, sddl});
  if (!Trusted(d.owner, scope, user_sid)) return texts::FillIn(texts::kOwnedByOther, {path, d.owner});
  // No DACL, or a null one, grants everyone everything.
  if (!d.has_dacl || d.dacl.starts_with("NO_ACCESS_CONTROL")) return texts::FillIn(texts::kNoAccessList, {path});
  const std::size_t first = d.dacl.find('(');
  if (first == std::string_view::npos) return {};  // an empty DACL: nobody may do anything
  for (std::size_t at = first; at < d.dacl.size();) {
    const std::size_t end = d.dacl.find(')', at);
    if (d.dacl[at] != '(' || end == std::string_view::npos) {
      return texts::FillIn(texts::kDescriptorUnreadable, {path, sddl});
    }
    const std::vector<std::string_view> fields = Split(d.dacl.substr(at + 1, end - at - 1), ';');
    at = end + 1;
    if (fields.size() < 6) return texts::FillIn(texts::kDescriptorUnreadable, {path, sddl});
    const std::string_view type = fields[0];
    // Allow entries grant; deny, audit and label entries do not.
    if (type != "A" && type != "OA" && type != "XA" && type != "ZA") continue;
    // An inherit-only entry is for what is created inside, not this file.
    if (fields[1].find("IO") != std::string_view::npos) continue;
    std::uint32_t mask = 0;
    if (!RightsOf(fields[2], &mask)) return texts::FillIn(texts::kDescriptorUnreadable, {path, sddl});
    if ((mask & kWriteRights) != 0 && !Trusted(fields[5], scope, user_sid)) {
      return texts::FillIn(texts::kPrincipalMayWrite, {fields[5], path});
    }
  }
  return {};
}

}  // namespace veltrane
