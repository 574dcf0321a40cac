#include "cli/signing_commands.h"

#include "cli/cli_texts.h"
#include "cli/file_io.h"
#include "cli/image_gate.h"
#include "device/hid_device_link.h"
#include "image/image_texts.h"
#include "service/signing_texts.h"

namespace veltrane::cli {

const ImageSigning& LoadSigning(const CommandContext& context) {
  if (context.loaded_signing) return *context.loaded_signing;
  auto signing = std::make_shared<const ImageSigning>(ImageSigning::Load(context.signing_places, context.signing));
  const std::vector<std::string> warnings = signing->Warnings();
  for (const std::string& warning : warnings) context.Say(warning);
  if (!warnings.empty()) context.report->Doc()["warnings"] = warnings;
  context.loaded_signing = std::move(signing);
  return *context.loaded_signing;
}

Json SignatureJson(const SignatureVerdict& v) {
  const auto text_or_null = [](const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); };
  const bool good = v.state == SignatureState::kGood;
  return {{"state", v.Name()},
          {"file", text_or_null(v.signature_path)},
          {"key_id", text_or_null(v.key_id)},
          {"algorithm", text_or_null(v.algorithm)},
          {"trusted", good},
          {"trusted_comment", good ? Json(v.trusted_comment) : Json(nullptr)},
          {"key_file", good ? Json(v.key_path) : Json(nullptr)},
          {"key_origin", good ? Json(KeyOriginName(v.key_origin)) : Json(nullptr)},
          {"refused", v.refused},
          {"reason", v.reason}};
}

bool SaySigningRefusal(const CommandContext& context, const ChangeResult& result, bool image, const char* how) {
  if (result.step != ChangeStep::kRefused ||
      (result.refusal != Refusal::kSignature && result.refusal != Refusal::kSignedOnly)) {
    return false;
  }
  Json& doc = context.report->Doc();
  doc["verdict"] = "signature";
  if (result.signature_judged) doc["signature"] = SignatureJson(result.signature);
  // An image's refusal reads "Invalid Image!", as the desktop says, then why.
  if (image) context.Say(image_texts::kInvalidImage);
  context.Say(result.refusal_text);
  const bool unsigned_or_form = result.refusal == Refusal::kSignedOnly ||
                                result.signature.state == SignatureState::kLegacy;
  if (unsigned_or_form && how != nullptr) context.Say(how);
  return true;
}

void SaySignature(const CommandContext& context, const SignatureVerdict& verdict) {
  context.report->Doc()["signature"] = SignatureJson(verdict);
  // With --json the document says it.
  if (!context.json) context.Inform(Fill(texts::kSignatureLine, verdict.Summary().c_str()));
}

ExitStatus ImageVerifyCommand(const CommandContext& context, const std::string& image_path) {
  Json& doc = context.report->Doc();
  doc["image"] = image_path;
  std::vector<std::uint8_t> bytes;
  ImageVerdict failure;
  if (ReadImageFile(context, image_path, &bytes, &failure) != kExitDone) return kExitRefused;
  const ImageSigning& signing = LoadSigning(context);
  const SignatureVerdict v = signing.Judge(bytes, image_path);
  doc["signature"] = SignatureJson(v);
  if (!v.algorithm.empty() && v.state != SignatureState::kGood) {
    context.Inform(Fill(texts::kSignatureForm, v.algorithm.c_str(),
                        v.algorithm == signing_texts::kFormLegacy ? "Ed" : "ED"));
  }
  switch (v.state) {
    case SignatureState::kGood:
      context.Result(Fill(texts::kSignedByTrusted, image_path.c_str(), v.key_id.c_str(),
                          v.key_path.c_str(), KeyOriginName(v.key_origin)) +
                     "\n" + Fill(texts::kTrustedCommentLine, v.trusted_comment.c_str()) + "\n" +
                     Fill(texts::kSignatureForm, v.algorithm.c_str(),
                          v.algorithm == signing_texts::kFormLegacy ? "Ed" : "ED") + "\n");
      return kExitDone;
    case SignatureState::kUnsigned:
      context.Say(v.refused ? v.reason
                            : Fill(texts::kNoSignature, image_path.c_str(),
                                   SignaturePathFor(image_path, "").c_str()));
      return kExitRefused;
    case SignatureState::kUntrusted:
      context.Say(v.reason);
      context.Inform(Fill(texts::kTrustAKey, v.signature_path.c_str()));
      return kExitRefused;
    case SignatureState::kBad:
      context.Say(v.reason);
      context.Inform(Fill(texts::kSignatureOfKey, v.signature_path.c_str(), v.key_id.c_str(),
                          v.key_path.c_str()));
      return kExitRefused;
    case SignatureState::kMalformed:
    case SignatureState::kUnchecked:
    case SignatureState::kLegacy:
      context.Say(v.reason);
      return kExitRefused;
  }
  return kExitRefused;
}

ExitStatus KeysCommand(const CommandContext& context) {
  const ImageSigning& signing = LoadSigning(context);
  Json& doc = context.report->Doc();
  doc["folders"] = {{"system", TrustedKeyFolder(context.signing_places.system_dir)},
                    {"user", context.signing_places.user_dir.empty()
                                 ? Json(nullptr)
                                 : Json(TrustedKeyFolder(context.signing_places.user_dir))}};
  doc["require_signed"] = signing.Policy().require_signed;
  doc["required_by"] = signing.Policy().required_by;
  doc["keys"] = Json::array();
  std::string table;
  for (const TrustedKey& key : signing.Keys().Keys()) {
    const std::string id = KeyIdText(key.key.key_id);
    doc["keys"].push_back({{"key_id", id},
                           {"origin", KeyOriginName(key.origin)},
                           {"file", key.path},
                           {"comment", key.key.untrusted_comment}});
    table += Fill("%-18s  %-13s  %s\n", id.c_str(), KeyOriginName(key.origin), key.path.c_str());
  }
  if (signing.Keys().Keys().empty()) {
    context.Inform(Fill(texts::kNoTrustedKeys,
                        TrustedKeyFolder(context.signing_places.system_dir).c_str(),
                        context.signing_places.user_dir.empty()
                            ? "-"
                            : TrustedKeyFolder(context.signing_places.user_dir).c_str()));
  } else {
    context.Result(std::string(texts::kKeyTableHeader) + "\n" + table);
  }
  if (signing.Policy().require_signed) {
    context.Inform(Fill(texts::kSignedOnly, signing.Policy().required_by.c_str()));
  }
  return kExitDone;
}

}  // namespace veltrane::cli
