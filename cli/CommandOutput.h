#pragma once
// What every command writes the same way: its exit status from its
// exchanges, one JSON object, a failure in words. Shared by the command
// files; not for front ends.

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "Identity.h"

namespace printercli {

using Json = nlohmann::ordered_json;

int ExitOf(const printerlink::Done& done);
Json RecordJson(const printerlink::ExchangeRecord& record);
// The deciding exchange in the log file's fields and how it ended in words,
// then the command, its exit status and, when it took several, every exchange.
Json CommandJson(const char* command, const printerlink::Done& done, int exit);
void WriteJson(Session& s, const Json& j);
// "Can't Connect Net! 192.168.1.10:9100: refused ..." on standard error, unless --json.
void TellFailure(Session& s, const printerlink::ExchangeRecord& r);
// A setting frame (GS D, GS E): which bytes go, then, when it failed, its
// cause and the line `failed`; the JSON object and a success are left to
// the caller.
printerlink::Done SendSettingFrame(Session& s, const printerlink::Plan& plan, const char* failed);
// The same, then the setting's JSON object.
int SendSetting(Session& s, const char* command, const printerlink::Plan& plan, const char* failed);

// A printer's identity as its --json fields: address, maker, model, serial,
// firmware (null when unknown), mac, mac_source, vendor.
Json IdentityJson(const printerlink::Identity& id);
// "00:00:5E:00:53:32 (Vendor), Maker Model, Serial S123": a sweep's line.
std::string DetailsLine(const printerlink::Identity& id, Language language);
// Every address's identity, asked at once, a bounded number at a time.
std::vector<printerlink::Identity> AskIdentities(Session& s, const std::vector<std::string>& addresses);

}  // namespace printercli
