/* Stands in for NVDA's controller client library under Wine: it reports
 * NVDA as running and writes every text it receives as one UTF-8 line into
 * the file named by QUENNVOLDAR_NVDA_LOG. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

/* ---- Log ---- */

static void AppendLine(const char* prefix, const wchar_t* text) {
  const char* logName = getenv("QUENNVOLDAR_NVDA_LOG");
  if (logName == NULL || logName[0] == '\0' || text == NULL) return;
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  if (size <= 0) return;
  char* utf8 = (char*)malloc((size_t)size);
  if (utf8 == NULL) return;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, size, NULL, NULL);
  FILE* log = fopen(logName, "ab");
  if (log != NULL) {
    fprintf(log, "%s%s\n", prefix, utf8);
    fclose(log);
  }
  free(utf8);
}

/* ---- Exports ---- */

__declspec(dllexport) int __stdcall nvdaController_speakText(const wchar_t* text) {
  AppendLine("", text);
  return 0;
}

__declspec(dllexport) int __stdcall nvdaController_brailleMessage(const wchar_t* text) {
  AppendLine("braille: ", text);
  return 0;
}

__declspec(dllexport) int __stdcall nvdaController_cancelSpeech(void) { return 0; }

__declspec(dllexport) int __stdcall nvdaController_testIfRunning(void) { return 0; }
