#include <gtest/gtest.h>

#include <set>

#include "env/Enviro.h"
#include "tests/fakes/FakeServices.h"
#include "tests/native/Cp1252.h"

using testing_cp1252::ToCp1252;

namespace {

// ---- scale factor and font compensation ----

TEST(Environment, ScaleFactorFromPixelsPerInch) {
  const std::pair<int, double> cases[] = {{96, 1.0}, {120, 1.25}, {144, 1.5}, {192, 2.0}, {0, 0.1}};
  for (auto [ppi, factor] : cases) {
    fakes::FakeScreen screen(ppi);
    env::InitEnvironment(screen);
    EXPECT_EQ(env::ScaleFactor, factor) << ppi;
  }
}

TEST(Environment, FontCompensationRoundsHalvesToEven) {
  EXPECT_EQ(env::CompensateFontHeight(-11, 1.0), -11);
  EXPECT_EQ(env::CompensateFontHeight(-11, 1.25), -9);  // -8.8
  EXPECT_EQ(env::CompensateFontHeight(-11, 1.5), -7);   // -7.33
  EXPECT_EQ(env::CompensateFontHeight(-11, 2.0), -6);   // -5.5 -> -6
  EXPECT_EQ(env::CompensateFontHeight(-5, 2.0), -2);    // -2.5 -> -2
  EXPECT_EQ(env::CompensateFontHeight(-7, 2.0), -4);    // -3.5 -> -4
  EXPECT_EQ(env::CompensateFontHeight(13, 1.0), -13);   // always negative
  EXPECT_EQ(env::CompensateFontHeight(-11, 0.1), -110);
  EXPECT_EQ(env::CompensateFontHeight(0, 1.25), 0);
}

TEST(Environment, CompensationUsesTheRecordedFactor) {
  fakes::FakeScreen screen(120);
  env::InitEnvironment(screen);
  EXPECT_EQ(env::CompensateFontHeight(-11), -9);
  fakes::FakeScreen normal(96);
  env::InitEnvironment(normal);
  EXPECT_EQ(env::CompensateFontHeight(-11), -11);
}

// ---- path helpers ----

class PathHelpers : public ::testing::Test {
 protected:
  fakes::FakeLocale cp1252;
  env::PathRules paths{cp1252};
};

TEST_F(PathHelpers, JoinPathGivesExactlyOneSeparator) {
  EXPECT_EQ(paths.JoinPath("D:\\Apps", "x.dll"), "D:\\Apps\\x.dll");
  EXPECT_EQ(paths.JoinPath("D:\\Apps\\", "x.dll"), "D:\\Apps\\x.dll");
  EXPECT_EQ(paths.JoinPath("D:\\Apps", ""), "D:\\Apps\\");
  EXPECT_EQ(paths.JoinPath("D:\\Apps\\", ""), "D:\\Apps\\");
  EXPECT_EQ(paths.JoinPath("D:\\Apps\\", "\\x"), "D:\\Apps\\\\x");
  EXPECT_EQ(paths.JoinPath("", "x.dll"), "");
  EXPECT_EQ(paths.JoinPath("", ""), "");
}

TEST_F(PathHelpers, StripRemovesOneBackslashOnly) {
  EXPECT_EQ(paths.StripTrailingBackslash("D:\\Apps\\"), "D:\\Apps");
  EXPECT_EQ(paths.StripTrailingBackslash("D:\\Apps\\\\"), "D:\\Apps\\");
  EXPECT_EQ(paths.StripTrailingBackslash("D:\\"), "D:");
  EXPECT_EQ(paths.StripTrailingBackslash("D:\\Apps"), "D:\\Apps");
  EXPECT_EQ(paths.StripTrailingBackslash(""), "");
  EXPECT_EQ(paths.StripTrailingBackslash("\\"), "");
}

TEST_F(PathHelpers, DoubleByteTrailBackslashIsNoSeparator) {
  fakes::FakeLocale cp932;
  cp932.UseCodePage932();
  const env::PathRules dbcs(cp932);
  // 0x95 0x5C is one double-byte character whose trail byte is 92.
  const std::string folder = "C:\\\x95\x5C";
  EXPECT_EQ(dbcs.JoinPath(folder, "a"), folder + "\\a");
  EXPECT_EQ(dbcs.StripTrailingBackslash(folder), folder);
  // A real backslash after a double-byte character still counts.
  EXPECT_EQ(dbcs.StripTrailingBackslash(folder + "\\"), folder);
  EXPECT_EQ(dbcs.JoinPath(folder + "\\", "a"), folder + "\\a");
  // Nor does it end a log's folder: C:\表\表.und lies in C:\表\.
  EXPECT_EQ(dbcs.ExtractFilePath(folder + "\\\x95\x5C.und"), folder + "\\");
  EXPECT_EQ(dbcs.FolderOfFile(folder + "/\x95\x5C.und"), folder + "\\");
  // Without the double-byte code page the same bytes end in a backslash.
  EXPECT_EQ(paths.StripTrailingBackslash(folder), "C:\\\x95");
}

TEST_F(PathHelpers, ExtractFilePathKeepsTheLastSeparator) {
  EXPECT_EQ(paths.ExtractFilePath("D:\\Demo\\demo.und"), "D:\\Demo\\");
  EXPECT_EQ(paths.ExtractFilePath("app.und"), "");
  EXPECT_EQ(paths.ExtractFilePath("C:app.und"), "C:");
  EXPECT_EQ(paths.ExtractFilePath(":C:\\a.und"), ":C:\\");
  EXPECT_EQ(paths.ExtractFilePath(""), "");
  // The log's folder as Windows reads it: a slash separates too, and the
  // folder comes in the backslash form.
  EXPECT_EQ(paths.FolderOfFile("C:/App/app.und"), "C:\\App\\");
  EXPECT_EQ(paths.FolderOfFile("C:\\App/sub\\app.und"), "C:\\App\\sub\\");
  EXPECT_EQ(paths.FolderOfFile("C:app.und"), "C:");
  EXPECT_EQ(paths.FolderOfFile("app.und"), "");
}

// ---- message catalogue ----

struct Expected {
  int code;
  const char* caption;  // UTF-8
  const char* text;     // UTF-8, with ARG where the argument goes
  uint32_t type;
};

// Written from the catalogue's table, readably; converted to Windows-1252.
const Expected kAll[] = {
    {0, "Problemas", "Não há parâmetro de desinstalação (arquivo /f:?.und)", 16},
    {2, "Problemas",
     "São necessários \"ARG Kbytes\" livres de HD para descomprimir o programa.\n\rProcure escolher outro "
     "dispositivo ou conseguir mais espaço.",
     16},
    {3, "Problemas", "O arquivo \"ARG\"\n\rparece não existir.", 16},
    {4, "Problemas", "A seleção não é permitida.\n\rVerifique se há caracteres ilegais.", 16},
    {5, "Atenção", "A pasta \"ARG\"já existe.\n\rContinuar?", 52},
    {6, "Problemas", "O arquivo \"ARG\"\n\rapresentou problemas.", 16},
    {7, "Atenção!", "A pasta \"ARG\"\n\ré somente de leitura.", 16},
    {11, "Cuidado", "Há um arquivo com o mesmo nome escolhido. Continuar mesmo assim?", 36},
    {12, "Atenção!", "A(s) pasta(s) \"ARG\"\n\rnão existe(m) ainda.\n\rPode-se criá-la(s)?", 52},
    {13, "Problemas", "A pasta \"ARG\"\n\rnão pode ser criada.", 16},
    {14, "Problemas", "Ocorreu algum problema durante a cópia.", 16},
    {15, "Problemas", "Ocorreu algum problema durante a cópia de\n\r\"ARG\"", 16},
    {17, "Atenção", "O nome do arquivo contém mais de 255 caracteres, o que não é permitido.", 16},
    {18, "Problemas",
     "Não há recursos suficientes para executar o \"ARG\"\n\rTente fechar outros programas em andamento.", 16},
    {19, "Problemas", "Não encontrou-se o arquivo \"ARG\"\n\rCertifique-se de que o CD é o correto.", 16},
    {20, "Problemas", "O arquivo \"ARG\" parece estar corrompido.", 16},
    {21, "Problemas", "O arquivo \"ARG\" está sendo usado exclusivamente por outro programa.", 16},
    {23, "Continuar?", "A extensão do arquivo \"ARG\"\n\rnão foi reconhecida.\n\rContinuar mesmo assim?", 292},
    {28, "Problemas", "Não encontrou-se o arquivo \"ARG\"\n\rCertifique-se de que o caminho está correto.", 16},
    {33, "Sucesso", "Descompressão bem sucedida de \n\r\"ARG\".", 64},
    {34, "Continuar?",
     "O encerramento deste programa agora, impedirá completamente a destruição automática dos arquivos "
     "temporários recém-descomprimidos.\n\rContinuar com o encerramento?",
     292},
    {36, "Continuar?", "Você está prestes a desinstalar \"ARG\".\n\rContinuar?", 292},
    {37, "Continuar?", "Você está prestes a desinstalar \"ARG\".\n\rContinuar?", 292},
    {38, "Falha",
     "Não foi possível definir um temporário coerente para copiar o programa de desinstalação.\n\rClique OK "
     "para indicar um a seguir.",
     17},
    {39, "Término", "Há falta de informações e por isso não é possível prosseguir.", 64},
    {40, "Continuar?",
     "Escolheu-se a seguinte pasta temporária \"ARG\"\n\rpara nela copiar o programa de desinstalação.\n\rVocê "
     "quer escolher outra?",
     292},
    {41, "Término", "Processo terminado.", 64},
    {42, "Atenção", "Apagar a pasta \"ARG\"?", 52},
    {43, "Atenção", "Apagar o arquivo \"ARG\"?", 52},
};

std::string WithArgument(const char* utf8, const std::string& argument) {
  std::string t = ToCp1252(utf8);
  const size_t pos = t.find("ARG");
  if (pos != std::string::npos) t.replace(pos, 3, argument);
  return t;
}

TEST(MessageCatalogue, EveryTextCaptionAndTypeByteForByte) {
  ASSERT_EQ(std::size(kAll), 29u);
  const std::string arg = "C:\\Arquivos de programas\\Dem\xF3\\demo.und";
  for (const Expected& e : kAll) {
    const env::CodedMessage m = env::BuildCodedMessage(e.code, arg);
    EXPECT_EQ(m.caption, ToCp1252(e.caption)) << e.code;
    EXPECT_EQ(m.text, WithArgument(e.text, arg)) << e.code;
    EXPECT_EQ(m.type, e.type) << e.code;
  }
}

TEST(MessageCatalogue, ExactlyTheAssignedCodesHaveMessages) {
  std::set<int> assigned;
  for (const Expected& e : kAll) assigned.insert(e.code);
  for (int code = -5; code <= 50; ++code) EXPECT_EQ(env::HasCodedMessage(code), assigned.count(code) == 1) << code;
}

TEST(MessageCatalogue, UnknownCodesGiveAnEmptyOkBox) {
  fakes::FakeMessageBox box;
  for (int code : {1, 8, 35, 44, -1, 1000}) {
    EXPECT_EQ(env::ShowCodedMessage(box, code, "ignored"), env::kIdOk);
    ASSERT_FALSE(box.shown().empty());
    EXPECT_EQ(box.shown().back().caption, "");
    EXPECT_EQ(box.shown().back().text, "");
    EXPECT_EQ(box.shown().back().type, 0u);
  }
}

TEST(MessageCatalogue, ArgumentIsInsertedUnchangedAndOnce) {
  // Empty argument: an empty pair of quotes.
  EXPECT_EQ(env::BuildCodedMessage(36, "").text, ToCp1252("Você está prestes a desinstalar \"\".\n\rContinuar?"));
  // Blanks stay inside the quotes; a placeholder-like argument is not expanded.
  EXPECT_EQ(env::BuildCodedMessage(43, "  a%sb  ").text, ToCp1252("Apagar o arquivo \"  a%sb  \"?"));
  EXPECT_EQ(env::BuildCodedMessage(42, "ARG").text, "Apagar a pasta \"ARG\"?");
}

TEST(MessageCatalogue, MessagesWithoutArgumentIgnoreIt) {
  for (int code : {0, 4, 11, 14, 17, 34, 38, 39, 41}) {
    EXPECT_EQ(env::BuildCodedMessage(code, "x").text, env::BuildCodedMessage(code, "").text) << code;
    EXPECT_EQ(env::BuildCodedMessage(code, "x").text.find('x' + std::string("\"")), std::string::npos);
  }
}

TEST(MessageCatalogue, LineBreaksAreLineFeedThenCarriageReturn) {
  for (const Expected& e : kAll) {
    const std::string t = env::BuildCodedMessage(e.code, "a").text;
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i] == '\r') {
        EXPECT_TRUE(i > 0 && t[i - 1] == '\n') << e.code;
      }
      if (t[i] == '\n') {
        EXPECT_TRUE(i + 1 < t.size() && t[i + 1] == '\r') << e.code;
      }
    }
  }
}

TEST(MessageCatalogue, ShowsThroughTheBoxAndReturnsItsAnswer) {
  fakes::FakeMessageBox box;
  box.Answer(env::kIdNo);
  EXPECT_EQ(env::ShowCodedMessage(box, 36, "Demo"), env::kIdNo);
  ASSERT_EQ(box.shown().size(), 1u);
  EXPECT_EQ(box.shown()[0].caption, "Continuar?");
  EXPECT_EQ(box.shown()[0].type, 292u);
  box.Answer(0);  // the box failed to appear
  EXPECT_EQ(env::ShowCodedMessage(box, 41, ""), 0);
}

}  // namespace
