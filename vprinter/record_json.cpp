// The record as JSON, written by hand: the printer is built into programs that
// carry no JSON library.
#include <cstdio>

#include "printer_record.h"

namespace vprinter {
namespace {

void Text(std::string &out, const std::string &text) {
  out += '"';
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

void Key(std::string &out, const char *name) {
  if (out.back() != '{') out += ',';
  Text(out, name);
  out += ':';
}

void Field(std::string &out, const char *name, uint64_t value) {
  Key(out, name);
  out += std::to_string(value);
}

void Field(std::string &out, const char *name, bool value) {
  Key(out, name);
  out += value ? "true" : "false";
}

template <class Number>
void Field(std::string &out, const char *name, const std::optional<Number> &value) {
  Key(out, name);
  out += value ? std::to_string(*value) : "null";
}

void Field(std::string &out, const char *name, const std::vector<size_t> &values) {
  Key(out, name);
  out += '[';
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    out += std::to_string(values[i]);
  }
  out += ']';
}

}  // namespace

const char *NameOf(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::unknownFrame:
      return "unknownFrame";
    case ErrorKind::oversizedCommand:
      return "oversizedCommand";
    case ErrorKind::badQuery:
      return "badQuery";
    case ErrorKind::badSwitchRequest:
      return "badSwitchRequest";
    case ErrorKind::unaskedSwitch:
      return "unaskedSwitch";
    case ErrorKind::missingSwitch:
      return "missingSwitch";
    case ErrorKind::badHeader:
      return "badHeader";
    case ErrorKind::bytesAfterImage:
      return "bytesAfterImage";
  }
  return "?";
}

const char *NameOf(Fault fault) {
  switch (fault) {
    case Fault::none:
      return "none";
    case Fault::stall:
      return "stall";
    case Fault::fail:
      return "fail";
    case Fault::disconnect:
      return "disconnect";
  }
  return "?";
}

std::string ToJson(const Record &record) {
  std::string out = "{";
  Field(out, "writes", record.writes);
  Field(out, "reads", record.reads);
  Field(out, "bytesReceived", record.bytesReceived);
  Field(out, "bytesSent", record.bytesSent);
  Field(out, "queries", uint64_t{record.queries});
  Field(out, "switchRequests", uint64_t{record.switchRequests});
  Field(out, "vendorRequests", uint64_t{record.vendorRequests});
  Field(out, "announcedLength", record.announcedLength);
  Field(out, "imageBytes", record.imageBytes);
  Field(out, "blockSizes", record.blockSizes);
  Field(out, "imageComplete", record.imageComplete);
  Field(out, "imageChecked", record.imageChecked);
  Field(out, "imageMatches", record.imageMatches);
  Field(out, "firstMismatch", record.firstMismatch);
  Key(out, "errors");
  out += '[';
  for (size_t i = 0; i < record.errors.size(); ++i) {
    const ProtocolError &error = record.errors[i];
    out += i > 0 ? ",{" : "{";
    Field(out, "offset", error.offset);
    Key(out, "kind");
    Text(out, NameOf(error.kind));
    Key(out, "detail");
    Text(out, error.detail);
    out += '}';
  }
  out += ']';
  Field(out, "errorsDropped", uint64_t{record.errorsDropped});
  Key(out, "fault");
  Text(out, NameOf(record.fault));
  Field(out, "faultOffset", record.faultOffset);
  Field(out, "firstByteMicros", record.firstByteMicros);
  Field(out, "lastByteMicros", record.lastByteMicros);
  out += '}';
  return out;
}

}  // namespace vprinter
