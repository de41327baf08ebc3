#include "env/Enviro.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "platform/WindowsRules.h"

namespace env {

double ScaleFactor = 0.0;

void InitEnvironment(platform::IScreen& screen) {
  const int ppi = screen.PixelsPerInchY();
  // The factor is computed in extended precision (1/96 first), then stored.
  ScaleFactor = static_cast<double>(static_cast<long double>(ppi) * (1.0L / 96.0L));
  if (ScaleFactor == 0.0) ScaleFactor = 0.1;
}

int CompensateFontHeight(int height, double scaleFactor) {
  const long long r = platform::RoundHalfEven(static_cast<double>(height) / scaleFactor);
  return static_cast<int>(-std::llabs(r));
}

int CompensateFontHeight(int height) { return CompensateFontHeight(height, ScaleFactor); }

// The characters are walked from the start, so that the second byte of a
// double-byte character is never taken for a separator.
size_t PathRules::LastSeparator(const std::string& text, const char* separators) const {
  const std::string_view wanted(separators);
  size_t found = std::string::npos;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80 && locale_.IsLeadByte(c)) {
      i += 2;
      continue;
    }
    if (wanted.find(static_cast<char>(c)) != std::string_view::npos) found = i;
    ++i;
  }
  return found;
}

bool PathRules::EndsWithBackslash(const std::string& text) const {
  if (text.empty() || text.back() != '\\') return false;
  return LastSeparator(text, "\\") == text.size() - 1;
}

std::string PathRules::JoinPath(const std::string& folder, const std::string& name) const {
  if (folder.empty()) return {};
  if (EndsWithBackslash(folder)) return folder + name;
  return folder + '\\' + name;
}

std::string PathRules::StripTrailingBackslash(const std::string& path) const {
  if (EndsWithBackslash(path)) return path.substr(0, path.size() - 1);
  return path;
}

std::string PathRules::ExtractFilePath(const std::string& path) const {
  const size_t pos = LastSeparator(path, "\\:");
  if (pos == std::string::npos) return {};
  return path.substr(0, pos + 1);
}

std::string PathRules::FolderOfFile(const std::string& path) const {
  const size_t pos = LastSeparator(path, "\\/:");
  if (pos == std::string::npos) return {};
  std::string folder = path.substr(0, pos + 1);
  // A slash is never the second byte of a double-byte character.
  std::replace(folder.begin(), folder.end(), '/', '\\');
  return folder;
}

std::string PathRules::ParentPath(const std::string& path) const {
  return StripTrailingBackslash(ExtractFilePath(path));
}

namespace {

// MessageBox style flags.
constexpr uint32_t kStop = 16;            // MB_ICONHAND + MB_OK
constexpr uint32_t kStopOkCancel = 17;    // MB_ICONHAND + MB_OKCANCEL
constexpr uint32_t kQuestion = 36;        // MB_ICONQUESTION + MB_YESNO
constexpr uint32_t kWarnYesNo = 52;       // MB_ICONEXCLAMATION + MB_YESNO
constexpr uint32_t kInfo = 64;            // MB_ICONASTERISK + MB_OK
constexpr uint32_t kQuestionNo = 292;     // ... + MB_DEFBUTTON2

// A message's text is `before`, then (for messages with an argument) the
// argument and `after`. Line breaks are LF CR, in that order.
struct Entry {
  int32_t code;
  const char* caption;
  const char* before;
  bool takesArgument;
  const char* after;
  uint32_t type;
};

constexpr char kProblemas[] = "Problemas";
// "Atenção"
constexpr char kAtencao[] = "Aten\347\343o";
// "Atenção!"
constexpr char kAtencaoExcl[] = "Aten\347\343o!";
constexpr char kContinuar[] = "Continuar?";
// "Término"
constexpr char kTermino[] = "T\351rmino";

constexpr Entry kCatalogue[] = {
    // "Não há parâmetro de desinstalação (arquivo /f:?.und)"
    {0, kProblemas, "N\343o h\341 par\342metro de desinstala\347\343o (arquivo /f:?.und)", false, "", kStop},
    // "São necessários "..." Kbytes" livres de HD para descomprimir o programa.
    //  Procure escolher outro dispositivo ou conseguir mais espaço."
    {2, kProblemas, "S\343o necess\341rios \"", true,
     " Kbytes\" livres de HD para descomprimir o programa.\n\r"
     "Procure escolher outro dispositivo ou conseguir mais espa\347o.",
     kStop},
    // "O arquivo "..." / parece não existir."
    {3, kProblemas, "O arquivo \"", true, "\"\n\rparece n\343o existir.", kStop},
    // "A seleção não é permitida. / Verifique se há caracteres ilegais."
    {4, kProblemas, "A sele\347\343o n\343o \351 permitida.\n\rVerifique se h\341 caracteres ilegais.", false, "",
     kStop},
    // "A pasta "..."já existe. / Continuar?"
    {5, kAtencao, "A pasta \"", true, "\"j\341 existe.\n\rContinuar?", kWarnYesNo},
    // "O arquivo "..." / apresentou problemas."
    {6, kProblemas, "O arquivo \"", true, "\"\n\rapresentou problemas.", kStop},
    // "A pasta "..." / é somente de leitura."
    {7, kAtencaoExcl, "A pasta \"", true, "\"\n\r\351 somente de leitura.", kStop},
    // "Há um arquivo com o mesmo nome escolhido. Continuar mesmo assim?"
    {11, "Cuidado", "H\341 um arquivo com o mesmo nome escolhido. Continuar mesmo assim?", false, "", kQuestion},
    // "A(s) pasta(s) "..." / não existe(m) ainda. / Pode-se criá-la(s)?"
    {12, kAtencaoExcl, "A(s) pasta(s) \"", true, "\"\n\rn\343o existe(m) ainda.\n\rPode-se cri\341-la(s)?",
     kWarnYesNo},
    // "A pasta "..." / não pode ser criada."
    {13, kProblemas, "A pasta \"", true, "\"\n\rn\343o pode ser criada.", kStop},
    // "Ocorreu algum problema durante a cópia."
    {14, kProblemas, "Ocorreu algum problema durante a c\363pia.", false, "", kStop},
    // "Ocorreu algum problema durante a cópia de / "...""
    {15, kProblemas, "Ocorreu algum problema durante a c\363pia de\n\r\"", true, "\"", kStop},
    // "O nome do arquivo contém mais de 255 caracteres, o que não é permitido."
    {17, kAtencao, "O nome do arquivo cont\351m mais de 255 caracteres, o que n\343o \351 permitido.", false, "",
     kStop},
    // "Não há recursos suficientes para executar o "..." / Tente fechar ..."
    {18, kProblemas, "N\343o h\341 recursos suficientes para executar o \"", true,
     "\"\n\rTente fechar outros programas em andamento.", kStop},
    // "Não encontrou-se o arquivo "..." / Certifique-se de que o CD é o correto."
    {19, kProblemas, "N\343o encontrou-se o arquivo \"", true, "\"\n\rCertifique-se de que o CD \351 o correto.",
     kStop},
    // "O arquivo "..." parece estar corrompido."
    {20, kProblemas, "O arquivo \"", true, "\" parece estar corrompido.", kStop},
    // "O arquivo "..." está sendo usado exclusivamente por outro programa."
    {21, kProblemas, "O arquivo \"", true, "\" est\341 sendo usado exclusivamente por outro programa.", kStop},
    // "A extensão do arquivo "..." / não foi reconhecida. / Continuar mesmo assim?"
    {23, kContinuar, "A extens\343o do arquivo \"", true,
     "\"\n\rn\343o foi reconhecida.\n\rContinuar mesmo assim?", kQuestionNo},
    // "Não encontrou-se o arquivo "..." / Certifique-se de que o caminho está correto."
    {28, kProblemas, "N\343o encontrou-se o arquivo \"", true,
     "\"\n\rCertifique-se de que o caminho est\341 correto.", kStop},
    // "Descompressão bem sucedida de / "..."."
    {33, "Sucesso", "Descompress\343o bem sucedida de \n\r\"", true, "\".", kInfo},
    // "O encerramento deste programa agora, impedirá completamente a destruição
    //  automática dos arquivos temporários recém-descomprimidos. / Continuar com o encerramento?"
    {34, kContinuar,
     "O encerramento deste programa agora, impedir\341 completamente a destrui\347\343o autom\341tica dos "
     "arquivos tempor\341rios rec\351m-descomprimidos.\n\rContinuar com o encerramento?",
     false, "", kQuestionNo},
    // "Você está prestes a desinstalar "...". / Continuar?"
    {36, kContinuar, "Voc\352 est\341 prestes a desinstalar \"", true, "\".\n\rContinuar?", kQuestionNo},
    {37, kContinuar, "Voc\352 est\341 prestes a desinstalar \"", true, "\".\n\rContinuar?", kQuestionNo},
    // "Não foi possível definir um temporário coerente para copiar o programa de
    //  desinstalação. / Clique OK para indicar um a seguir."
    {38, "Falha",
     "N\343o foi poss\355vel definir um tempor\341rio coerente para copiar o programa de desinstala\347\343o."
     "\n\rClique OK para indicar um a seguir.",
     false, "", kStopOkCancel},
    // "Há falta de informações e por isso não é possível prosseguir."
    {39, kTermino, "H\341 falta de informa\347\365es e por isso n\343o \351 poss\355vel prosseguir.", false, "",
     kInfo},
    // "Escolheu-se a seguinte pasta temporária "..." / para nela copiar o programa
    //  de desinstalação. / Você quer escolher outra?"
    {40, kContinuar, "Escolheu-se a seguinte pasta tempor\341ria \"", true,
     "\"\n\rpara nela copiar o programa de desinstala\347\343o.\n\rVoc\352 quer escolher outra?", kQuestionNo},
    {41, kTermino, "Processo terminado.", false, "", kInfo},
    {42, kAtencao, "Apagar a pasta \"", true, "\"?", kWarnYesNo},
    {43, kAtencao, "Apagar o arquivo \"", true, "\"?", kWarnYesNo},
};

static_assert(std::size(kCatalogue) == 29, "the catalogue holds 29 messages");

const Entry* Find(int32_t code) {
  for (const Entry& e : kCatalogue) {
    if (e.code == code) return &e;
  }
  return nullptr;
}

}  // namespace

bool HasCodedMessage(int32_t code) { return Find(code) != nullptr; }

CodedMessage BuildCodedMessage(int32_t code, const std::string& argument) {
  CodedMessage m;
  if (const Entry* e = Find(code)) {
    m.caption = e->caption;
    m.type = e->type;
    m.text = e->before;
    if (e->takesArgument) {
      m.text += argument;
      m.text += e->after;
    }
  }
  return m;
}

int ShowCodedMessage(platform::IMessageBox& box, int32_t code, const std::string& argument) {
  const CodedMessage m = BuildCodedMessage(code, argument);
  return box.ShowMessage(m.text, m.caption, m.type);
}

}  // namespace env
