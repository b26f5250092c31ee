// The initialisers of the word table. The English row holds all 157 captions; every other
// language holds a few captions as byte strings in its own ANSI code page (converted by
// IESetWordAnsi), and stores directly in UTF-16 what its code page cannot carry. The comment beside
// each entry shows the word as text.
#include "iewords.h"

#include "iecoredefs_words.h"

namespace {

struct TWordEntry {
    uint8_t Index;
    const char* Ansi;        // in the language's code page, or nullptr
    const wchar_t* Wide;     // when the code page cannot carry the word
};

const wchar_t* const kEnglish[IEWordCount] = {
    L"Preview",
    L"Original",
    L"Result",
    L"OK",
    L"Cancel",
    L"Lock preview",
    L"Copy Result to Original",
    L"Contrast",
    L"Brightness",
    L"Hue",
    L"Saturation",
    L"Value",
    L"Base color",
    L"New color",
    L"Luminosity",
    L"Red",
    L"Green",
    L"Blue",
    L"Filter values",
    L"Presets",
    L"Divisor",
    L"Load",
    L"Save",
    L"Equalization",
    L"Threshold",
    L"Equalize",
    L"Histogram",
    L"Gray",
    L"Light",
    L"Left",
    L"Top",
    L"Width",
    L"Height",
    L"Color",
    L"Original image quantity",
    L"Lens",
    L"Refraction",
    L"Parameters Preview",
    L"Quality",
    L"DCT method",
    L"Smoothing factor",
    L"Gray scale",
    L"Optimal Huffman",
    L"Original size",
    L"Compressed size",
    L"Advanced",
    L"Progressive",
    L"Compression",
    L"Image index",
    L"Photometric",
    L"Scanned document info",
    L"Name",
    L"Description",
    L"Page name",
    L"Page number",
    L"of",
    L"Horz. Position (inch)",
    L"Vert. Position (inch)",
    L"Colors",
    L"Transparent",
    L"Transparent color",
    L"Interlaced",
    L"Background",
    L"Horz. Position",
    L"Vert. Position",
    L"Delay time",
    L"Filter",
    L"Wave",
    L"Amplitude",
    L"Wave length",
    L"Phase",
    L"Reflective",
    L"User filter",
    L"Morphing filters",
    L"Window size",
    L"Maximum",
    L"Minimum",
    L"Opening",
    L"Closing",
    L"Rotate",
    L"Flip",
    L"Horizontal",
    L"Vertical",
    L"Frequency domain image",
    L"Select region to clean",
    L"Clear",
    L"Reset",
    L"Animate",
    L"Load filter",
    L"Save filter",
    L"Bump map",
    L"Print",
    L"Margins",
    L"inches",
    L"Right",
    L"Bottom",
    L"Position",
    L"Size",
    L"Normal",
    L"Fit to page",
    L"Stretch to page",
    L"Specified size",
    L"Gamma correction",
    L"Value",
    L"Print Setup",
    L"Left Margin",
    L"Top Margin",
    L"Right Margin",
    L"Bottom Margin",
    L"Size and Location",
    L"Top Left",
    L"Top Center",
    L"Top Right",
    L"Center Left",
    L"Center",
    L"Center Right",
    L"Bottom Left",
    L"Bottom Center",
    L"Bottom Right",
    L"Close",
    L"Apply",
    L"Measurement",
    L"Units",
    L"Rate",
    L"All graphics",
    L"Video for Windows",
    L"File",
    L"Mem",
    L"Automatically updates your preview with the changes you have selected",
    L"Print All",
    L"Print Selected",
    L"Common Graphic Files",
    L"All Files",
    L"HSV",
    L"HSL",
    L"RGB",
    L"FFT",
    L"Sharpen",
    L"Channels",
    L"pixel",
    L"frames",
    L"bit",
    L"byte",
    L"dpi",
    L"KB",
    L"Fit",
    L"Other",
    L"Columns",
    L"Rows",
    L"Style",
    L"Spacing",
    L"Select Acquire Device",
    L"Select an Acquisition Device",
    L"Page %d of %d",
    L"%d pages",
    L"Previous",
    L"Next",
};

const TWordEntry kItalian[] = {
    {0, "Anteprima", nullptr},   // Anteprima
    {1, "Originale", nullptr},   // Originale
    {2, "Risultato", nullptr},   // Risultato
    {3, "OK", nullptr},   // OK
    {4, "Annulla", nullptr},   // Annulla
    {15, "Rosso", nullptr},   // Rosso
    {16, "Verde", nullptr},   // Verde
    {17, "Blu", nullptr},   // Blu
    {119, "Chiudi", nullptr},   // Chiudi
};

const TWordEntry kGerman[] = {
    {0, "Vorschau", nullptr},   // Vorschau
    {1, "Original", nullptr},   // Original
    {2, "Ergebnis", nullptr},   // Ergebnis
    {3, "OK", nullptr},   // OK
    {4, "Abbrechen", nullptr},   // Abbrechen
    {15, "Rot", nullptr},   // Rot
    {16, "Gr\374n", nullptr},   // Grün
    {17, "Blau", nullptr},   // Blau
    {119, "Schlie\337en", nullptr},   // Schließen
};

const TWordEntry kSpanish[] = {
    {0, "Vista previa", nullptr},   // Vista previa
    {1, "Original", nullptr},   // Original
    {2, "Resultado", nullptr},   // Resultado
    {3, "Aceptar", nullptr},   // Aceptar
    {4, "Cancelar", nullptr},   // Cancelar
    {15, "Rojo", nullptr},   // Rojo
    {16, "Verde", nullptr},   // Verde
    {17, "Azul", nullptr},   // Azul
    {119, "Cerrar", nullptr},   // Cerrar
};

const TWordEntry kFrench[] = {
    {0, "Aper\347u", nullptr},   // Aperçu
    {1, "Original", nullptr},   // Original
    {2, "R\351sultat", nullptr},   // Résultat
    {3, "OK", nullptr},   // OK
    {4, "Annuler", nullptr},   // Annuler
    {15, "Rouge", nullptr},   // Rouge
    {16, "Vert", nullptr},   // Vert
    {17, "Bleu", nullptr},   // Bleu
    {119, "Fermer", nullptr},   // Fermer
};

const TWordEntry kPortuguese[] = {
    {0, "Visualizar", nullptr},   // Visualizar
    {1, "Original", nullptr},   // Original
    {2, "Resultado", nullptr},   // Resultado
    {3, "OK", nullptr},   // OK
    {4, "Cancelar", nullptr},   // Cancelar
    {15, "Vermelho", nullptr},   // Vermelho
    {16, "Verde", nullptr},   // Verde
    {17, "Azul", nullptr},   // Azul
    {119, "Fechar", nullptr},   // Fechar
};

const TWordEntry kGreek[] = {
    {0, "\320\361\357\345\360\351\363\352\374\360\347\363\347", nullptr},   // Προεπισκόπηση
    {1, "\301\361\367\351\352\374", nullptr},   // Αρχικό
    {2, "\301\360\357\364\335\353\345\363\354\341", nullptr},   // Αποτέλεσμα
    {3, "OK", nullptr},   // OK
    {4, "\242\352\365\361\357", nullptr},   // Άκυρο
    {15, "\312\374\352\352\351\355\357", nullptr},   // Κόκκινο
    {16, "\320\361\334\363\351\355\357", nullptr},   // Πράσινο
    {17, "\314\360\353\345", nullptr},   // Μπλε
    {119, "\312\353\345\337\363\351\354\357", nullptr},   // Κλείσιμο
};

const TWordEntry kRussian[] = {
    {0, "\317\360\356\361\354\356\362\360", nullptr},   // Просмотр
    {1, "\316\360\350\343\350\355\340\353", nullptr},   // Оригинал
    {2, "\320\345\347\363\353\374\362\340\362", nullptr},   // Результат
    {3, "OK", nullptr},   // OK
    {4, "\316\362\354\345\355\340", nullptr},   // Отмена
    {15, "\312\360\340\361\355\373\351", nullptr},   // Красный
    {16, "\307\345\353\270\355\373\351", nullptr},   // Зелёный
    {17, "\321\350\355\350\351", nullptr},   // Синий
    {119, "\307\340\352\360\373\362\374", nullptr},   // Закрыть
};

const TWordEntry kDutch[] = {
    {0, "Voorbeeld", nullptr},   // Voorbeeld
    {1, "Origineel", nullptr},   // Origineel
    {2, "Resultaat", nullptr},   // Resultaat
    {3, "OK", nullptr},   // OK
    {4, "Annuleren", nullptr},   // Annuleren
    {15, "Rood", nullptr},   // Rood
    {16, "Groen", nullptr},   // Groen
    {17, "Blauw", nullptr},   // Blauw
    {119, "Sluiten", nullptr},   // Sluiten
};

const TWordEntry kSwedish[] = {
    {0, "F\366rhandsgranska", nullptr},   // Förhandsgranska
    {1, "Original", nullptr},   // Original
    {2, "Resultat", nullptr},   // Resultat
    {3, "OK", nullptr},   // OK
    {4, "Avbryt", nullptr},   // Avbryt
    {15, "R\366d", nullptr},   // Röd
    {16, "Gr\366n", nullptr},   // Grön
    {17, "Bl\345", nullptr},   // Blå
    {119, "St\344ng", nullptr},   // Stäng
};

const TWordEntry kPolish[] = {
    {0, "Podgl\271d", nullptr},   // Podgląd
    {1, "Orygina\263", nullptr},   // Oryginał
    {2, "Wynik", nullptr},   // Wynik
    {3, "OK", nullptr},   // OK
    {4, "Anuluj", nullptr},   // Anuluj
    {15, "Czerwony", nullptr},   // Czerwony
    {16, "Zielony", nullptr},   // Zielony
    {17, "Niebieski", nullptr},   // Niebieski
    {119, "Zamknij", nullptr},   // Zamknij
};

const TWordEntry kJapanese[] = {
    {0, "\203v\203\214\203r\203\205\201[", nullptr},   // プレビュー
    {1, "\203I\203\212\203W\203i\203\213", nullptr},   // オリジナル
    {2, "\214\213\211\312", nullptr},   // 結果
    {3, "OK", nullptr},   // OK
    {4, "\203L\203\203\203\223\203Z\203\213", nullptr},   // キャンセル
    {15, "\220\324", nullptr},   // 赤
    {16, "\227\316", nullptr},   // 緑
    {17, "\220\302", nullptr},   // 青
    {119, "\225\302\202\266\202\351", nullptr},   // 閉じる
    {7, "\203R\203\223\203g\203\211\203X\203g", nullptr},   // コントラスト
    {8, "\226\276\202\351\202\263", nullptr},   // 明るさ
    {9, "\220F\221\212", nullptr},   // 色相
    {10, "\215\312\223x", nullptr},   // 彩度
    {21, "\223\307\202\335\215\236\202\335", nullptr},   // 読み込み
    {22, "\225\333\221\266", nullptr},   // 保存
    {38, "\225i\216\277", nullptr},   // 品質
    {120, "\223K\227p", nullptr},   // 適用
    {5, "\203v\203\214\203r\203\205\201[\202\360\214\305\222\350", nullptr},   // プレビューを固定
    {37, "\203p\203\211\203\201\201[\203^\201[\202\314\203v\203\214\203r\203\205\201[", nullptr},   // パラメーターのプレビュー
    {39, "DCT\225\373\216\256", nullptr},   // DCT方式
    {40, "\203X\203\200\201[\203W\203\223\203O\214W\220\224", nullptr},   // スムージング係数
    {42, "\215\305\223K\203n\203t\203}\203\223", nullptr},   // 最適ハフマン
    {43, "\214\263\202\314\203T\203C\203Y", nullptr},   // 元のサイズ
    {44, "\210\263\217k\214\343\202\314\203T\203C\203Y", nullptr},   // 圧縮後のサイズ
    {45, "\217\332\215\327\220\335\222\350", nullptr},   // 詳細設定
    {46, "\203v\203\215\203O\203\214\203b\203V\203u", nullptr},   // プログレッシブ
    {47, "\210\263\217k", nullptr},   // 圧縮
    {48, "\211\346\221\234\224\324\215\206", nullptr},   // 画像番号
    {49, "\203t\203H\203g\203\201\203g\203\212\203b\203N", nullptr},   // フォトメトリック
    {50, "\203X\203L\203\203\203\223\225\266\217\221\202\314\217\356\225\361", nullptr},   // スキャン文書の情報
    {51, "\226\274\221O", nullptr},   // 名前
    {52, "\220\340\226\276", nullptr},   // 説明
    {53, "\203y\201[\203W\226\274", nullptr},   // ページ名
    {54, "\203y\201[\203W\224\324\215\206", nullptr},   // ページ番号
    {55, "/", nullptr},   // /
    {56, "\220\205\225\275\210\312\222u (\203C\203\223\203`)", nullptr},   // 水平位置 (インチ)
    {57, "\220\202\222\274\210\312\222u (\203C\203\223\203`)", nullptr},   // 垂直位置 (インチ)
    {58, "\220F\220\224", nullptr},   // 色数
    {59, "\223\247\211\337", nullptr},   // 透過
    {60, "\223\247\211\337\220F", nullptr},   // 透過色
    {61, "\203C\203\223\203^\201[\203\214\201[\203X", nullptr},   // インターレース
    {62, "\224w\214i", nullptr},   // 背景
    {63, "\220\205\225\275\210\312\222u", nullptr},   // 水平位置
    {64, "\220\202\222\274\210\312\222u", nullptr},   // 垂直位置
    {65, "\222x\211\204\216\236\212\324", nullptr},   // 遅延時間
    {66, "\203t\203B\203\213\203^\201[", nullptr},   // フィルター
    {123, "\210\263\217k\227\246", nullptr},   // 圧縮率
};

const TWordEntry kCzech[] = {
    {0, "N\341hled", nullptr},   // Náhled
    {1, "Origin\341l", nullptr},   // Originál
    {2, "V\375sledek", nullptr},   // Výsledek
    {3, "OK", nullptr},   // OK
    {4, "Storno", nullptr},   // Storno
    {15, "\310erven\341", nullptr},   // Červená
    {16, "Zelen\341", nullptr},   // Zelená
    {17, "Modr\341", nullptr},   // Modrá
    {119, "Zav\370\355t", nullptr},   // Zavřít
};

const TWordEntry kFinnish[] = {
    {0, "Esikatselu", nullptr},   // Esikatselu
    {1, "Alkuper\344inen", nullptr},   // Alkuperäinen
    {2, "Tulos", nullptr},   // Tulos
    {3, "OK", nullptr},   // OK
    {4, "Peruuta", nullptr},   // Peruuta
    {15, "Punainen", nullptr},   // Punainen
    {16, "Vihre\344", nullptr},   // Vihreä
    {17, "Sininen", nullptr},   // Sininen
    {119, "Sulje", nullptr},   // Sulje
};

const TWordEntry kFarsi[] = {
    {0, nullptr, L"\x067E\x06CC\x0634\x200C\x0646\x0645\x0627\x06CC\x0634"},   // پیش‌نمایش
    {1, nullptr, L"\x0627\x0635\x0644\x06CC"},   // اصلی
    {2, nullptr, L"\x0646\x062A\x06CC\x062C\x0647"},   // نتیجه
    {3, nullptr, L"\x062A\x0623\x06CC\x06CC\x062F"},   // تأیید
    {4, "\341\333\346", nullptr},   // لغو
    {15, "\336\321\343\322", nullptr},   // قرمز
    {16, "\323\310\322", nullptr},   // سبز
    {17, nullptr, L"\x0622\x0628\x06CC"},   // آبی
    {119, "\310\323\312\344", nullptr},   // بستن
};

const TWordEntry kChinese[] = {
    {0, "\324\244\300\300", nullptr},   // 预览
    {1, "\324\255\315\274", nullptr},   // 原图
    {2, "\275\341\271\373", nullptr},   // 结果
    {3, "\310\267\266\250", nullptr},   // 确定
    {4, "\310\241\317\373", nullptr},   // 取消
    {15, "\272\354", nullptr},   // 红
    {16, "\302\314", nullptr},   // 绿
    {17, "\300\266", nullptr},   // 蓝
    {119, "\271\330\261\325", nullptr},   // 关闭
};

const TWordEntry kChineseTraditional[] = {
    {0, "\271w\304\375", nullptr},   // 預覽
    {1, "\255\354\271\317", nullptr},   // 原圖
    {2, "\265\262\252G", nullptr},   // 結果
    {3, "\275T\251w", nullptr},   // 確定
    {4, "\250\372\256\370", nullptr},   // 取消
    {15, "\254\365", nullptr},   // 紅
    {16, "\272\361", nullptr},   // 綠
    {17, "\302\305", nullptr},   // 藍
    {119, "\303\366\263\254", nullptr},   // 關閉
};

const TWordEntry kDanish[] = {
    {0, "Eksempel", nullptr},   // Eksempel
    {1, "Original", nullptr},   // Original
    {2, "Resultat", nullptr},   // Resultat
    {3, "OK", nullptr},   // OK
    {4, "Annuller", nullptr},   // Annuller
    {15, "R\370d", nullptr},   // Rød
    {16, "Gr\370n", nullptr},   // Grøn
    {17, "Bl\345", nullptr},   // Blå
    {119, "Luk", nullptr},   // Luk
};

const TWordEntry kTurkish[] = {
    {0, "\326nizleme", nullptr},   // Önizleme
    {1, "Orijinal", nullptr},   // Orijinal
    {2, "Sonu\347", nullptr},   // Sonuç
    {3, "Tamam", nullptr},   // Tamam
    {4, "\335ptal", nullptr},   // İptal
    {15, "K\375rm\375z\375", nullptr},   // Kırmızı
    {16, "Ye\376il", nullptr},   // Yeşil
    {17, "Mavi", nullptr},   // Mavi
    {119, "Kapat", nullptr},   // Kapat
};

const TWordEntry kKorean[] = {
    {0, "\271\314\270\256 \272\270\261\342", nullptr},   // 미리 보기
    {1, "\277\370\272\273", nullptr},   // 원본
    {2, "\260\341\260\372", nullptr},   // 결과
    {3, "\310\256\300\316", nullptr},   // 확인
    {4, "\303\353\274\322", nullptr},   // 취소
    {15, "\273\241\260\255", nullptr},   // 빨강
    {16, "\303\312\267\317", nullptr},   // 초록
    {17, "\306\304\266\373", nullptr},   // 파랑
    {119, "\264\335\261\342", nullptr},   // 닫기
};

const TWordEntry kHungarian[] = {
    {0, "El\365n\351zet", nullptr},   // Előnézet
    {1, "Eredeti", nullptr},   // Eredeti
    {2, "Eredm\351ny", nullptr},   // Eredmény
    {3, "OK", nullptr},   // OK
    {4, "M\351gse", nullptr},   // Mégse
    {15, "V\366r\366s", nullptr},   // Vörös
    {16, "Z\366ld", nullptr},   // Zöld
    {17, "K\351k", nullptr},   // Kék
    {119, "Bez\341r\341s", nullptr},   // Bezárás
};

template <size_t N>
void SetWords(TMsgLanguage Language, const TWordEntry (&Words)[N]) {
    for (const TWordEntry& w : Words) {
        if (w.Ansi)
            IESetWordAnsi(Language, w.Index, w.Ansi);
        else
            IESetWord(Language, w.Index, w.Wide);
    }
}

}   // namespace

void IEInitWords() {
    for (int32_t i = 0; i < IEWordCount; ++i) IESetWord(msEnglish, static_cast<uint8_t>(i), kEnglish[i]);
    SetWords(msItalian, kItalian);
    SetWords(msGerman, kGerman);
    SetWords(msSpanish, kSpanish);
    SetWords(msFrench, kFrench);
    SetWords(msPortuguese, kPortuguese);
    SetWords(msGreek, kGreek);
    SetWords(msRussian, kRussian);
    SetWords(msDutch, kDutch);
    SetWords(msSwedish, kSwedish);
    SetWords(msPolish, kPolish);
    SetWords(msJapanese, kJapanese);
    SetWords(msCzech, kCzech);
    SetWords(msFinnish, kFinnish);
    SetWords(msFarsi, kFarsi);
    SetWords(msChinese, kChinese);
    SetWords(msChineseTraditional, kChineseTraditional);
    SetWords(msDanish, kDanish);
    SetWords(msTurkish, kTurkish);
    SetWords(msKorean, kKorean);
    SetWords(msHungarian, kHungarian);
}
