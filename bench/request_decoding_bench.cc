// Decoding a save request that holds a 64 KB job text, from its CBOR bytes to an Action
// (decodeCbor, then decodeAction), against copying the text and checking that it is UTF-8.
#include <benchmark/benchmark.h>

#include <string>
#include <utility>

#include "bench/support/comparison_report.h"
#include "model/decode_action.h"
#include "platform/linux/wire/cbor_codec.h"
#include "text/grapheme_count.h"
#include "text/utf8.h"

namespace tarnel::bench {

namespace {

constexpr std::size_t kTextBytes = 64 * 1024;

// A job property list of exactly kTextBytes built from `entry`, repeated.
std::string jobText(const std::string& entry) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
      "\t<key>Label</key>\n\t<string>com.example.nightly-backup</string>\n";
  const std::string tail = "</dict>\n</plist>\n";
  std::string text = head;
  while (text.size() + entry.size() + tail.size() <= kTextBytes) text += entry;
  text.append(kTextBytes - text.size() - tail.size(), '\n');
  return text + tail;
}

// Mostly ASCII markup, with the accented and Japanese words that comments and paths hold: one
// code point in ten is not ASCII.
std::string mixedJobText() {
  return jobText(
      "\t<key>Kommentar</key>\n\t<string>Nächtliche Sicherung — 夜間バックアップ</string>\n"
      "\t<key>ProgramArguments</key>\n\t<array>\n"
      "\t\t<string>/usr/local/bin/sichern</string>\n"
      "\t\t<string>--ziel=/Volumes/Archiv/Übersicht/写真</string>\n\t</array>\n");
}

// A job whose comment is a long text in one script, `sentence` repeated: the costly cases.
std::string jobWithCommentOf(const std::string& sentence) {
  std::string comment;
  while (comment.size() < 1024) comment += sentence;
  return jobText("\t<key>Comment</key>\n\t<string>" + comment + "</string>\n");
}

std::string japaneseJobText() {
  return jobWithCommentOf("毎晩、写真と書類のフォルダーを外部ディスクに保存します。");
}

std::string chineseJobText() { return jobWithCommentOf("每天晚上把照片和文件夹备份到外部磁盘。"); }

std::string koreanJobText() {
  return jobWithCommentOf("매일 밤 사진과 문서 폴더를 외장 디스크에 저장합니다. ");
}

std::string cyrillicJobText() {
  return jobWithCommentOf("Каждую ночь сохраняет фотографии и документы на внешний диск. ");
}

std::string arabicJobText() {
  return jobWithCommentOf("يحفظ الصور والمستندات على القرص الخارجي كل ليلة. ");
}

Bytes encodedSaveRequest(const std::string& text) {
  const Value request(
      Dictionary{{0, Dictionary{{"privileged", false},
                                {"presentError", true},
                                {"path", "/Library/LaunchDaemons/com.example.nightly-backup.plist"},
                                {"string", text},
                                {"label", "com.example.nightly-backup"}}}});
  return linux_platform::encodeCbor(request);
}

void BM_DecodeSaveRequest(benchmark::State& state, std::string (*makeText)()) {
  const auto text = makeText();
  const auto bytes = encodedSaveRequest(text);
  for (auto _ : state) {
    auto value = linux_platform::decodeCbor(bytes);
    const auto* request = value ? value->get<Dictionary>() : nullptr;
    auto action = request ? decodeAction(*request) : std::nullopt;
    if (!action || !action->save || action->save->string.size() != kTextBytes) {
      state.SkipWithError("the request does not decode to a save");
      return;
    }
    benchmark::DoNotOptimize(action);
  }
  state.counters["request_bytes"] = static_cast<double>(bytes.size());
  state.counters["characters"] = static_cast<double>(countGraphemeClusters(text, saveStringLimit));
}
BENCHMARK_CAPTURE(BM_DecodeSaveRequest, mixed, mixedJobText);
BENCHMARK_CAPTURE(BM_DecodeSaveRequest, japanese, japaneseJobText);
BENCHMARK_CAPTURE(BM_DecodeSaveRequest, chinese, chineseJobText);
BENCHMARK_CAPTURE(BM_DecodeSaveRequest, korean, koreanJobText);
BENCHMARK_CAPTURE(BM_DecodeSaveRequest, cyrillic, cyrillicJobText);
BENCHMARK_CAPTURE(BM_DecodeSaveRequest, arabic, arabicJobText);

// The baseline: the least that taking the text from a message can cost.
void BM_CopyAndValidateText(benchmark::State& state, std::string (*makeText)()) {
  const auto text = makeText();
  for (auto _ : state) {
    std::string copy(text);
    const bool valid = isValidUtf8(copy);
    if (!valid) {
      state.SkipWithError("the text is not UTF-8");
      return;
    }
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK_CAPTURE(BM_CopyAndValidateText, mixed, mixedJobText);
BENCHMARK_CAPTURE(BM_CopyAndValidateText, japanese, japaneseJobText);
BENCHMARK_CAPTURE(BM_CopyAndValidateText, chinese, chineseJobText);
BENCHMARK_CAPTURE(BM_CopyAndValidateText, korean, koreanJobText);
BENCHMARK_CAPTURE(BM_CopyAndValidateText, cyrillic, cyrillicJobText);
BENCHMARK_CAPTURE(BM_CopyAndValidateText, arabic, arabicJobText);

// The decoding of a request may cost at most twice what taking its text costs, whatever its script.
Comparison decoding(std::string title, const std::string& text) {
  return {.title = std::move(title),
          .measurement = "BM_DecodeSaveRequest/" + text,
          .baseline = "BM_CopyAndValidateText/" + text,
          .ratio = 2};
}

const Comparison kComparisons[] = {
    decoding("decoding a request with a 64 KB text", "mixed"),
    decoding("  the same, its text all Japanese", "japanese"),
    decoding("  all Chinese", "chinese"),
    decoding("  all Korean", "korean"),
    decoding("  all Russian", "cyrillic"),
    decoding("  all Arabic", "arabic"),
};

}  // namespace

}  // namespace tarnel::bench

int main(int argc, char** argv) {
  return tarnel::bench::runComparisons(argc, argv, tarnel::bench::kComparisons);
}
