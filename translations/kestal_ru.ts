<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>ExportCommand</name>
    <message>
        <source>Export cancelled: nothing was written</source>
        <translation>Export cancelled: nothing was written</translation>
    </message>
    <message>
        <source>Shall I make an HTML page to test it ?</source>
        <translation>Вам создать HTML страницу для теста ?     </translation>
    </message>
    <message>
        <source>Saving folder :</source>
        <translation>Saving folder :</translation>
    </message>
    <message>
        <source>The folder %1 already holds 1 older frame of this photo (%2) beyond the %3 of this export; it will remain beside the new ones.
Write the frames?</source>
        <translation>The folder %1 already holds 1 older frame of this photo (%2) beyond the %3 of this export; it will remain beside the new ones.
Write the frames?</translation>
    </message>
    <message>
        <source>The folder %1 already holds %2 older frames of this photo (%3) beyond the %4 of this export; they will remain beside the new ones.
Write the frames?</source>
        <translation>The folder %1 already holds %2 older frames of this photo (%3) beyond the %4 of this export; they will remain beside the new ones.
Write the frames?</translation>
    </message>
    <message>
        <source>Exporting image %1</source>
        <translation>Exporting image %1</translation>
    </message>
    <message>
        <source>Written: %1</source>
        <translation>Written: %1</translation>
    </message>
    <message>
        <source>Written: %1 frames, %2 … %3 in %4</source>
        <translation>Written: %1 frames, %2 … %3 in %4</translation>
    </message>
    <message>
        <source>The name %1 ends in %2, but the file will be %3.
Save it as %4?</source>
        <translation>The name %1 ends in %2, but the file will be %3.
Save it as %4?</translation>
    </message>
</context>
<context>
    <name>ImageFiles</name>
    <message>
        <source>Unable to load image in file &quot;%s&quot; !</source>
        <translation>Unable to load image in file &quot;%s&quot; !</translation>
    </message>
    <message>
        <source>Unable to save image in file &quot;%s&quot; !</source>
        <translation>Unable to save image in file &quot;%s&quot; !</translation>
    </message>
</context>
<context>
    <name>Language</name>
    <message>
        <source>English</source>
        <translation>Английский</translation>
    </message>
    <message>
        <source>Russian</source>
        <translation>Русский</translation>
    </message>
</context>
<context>
    <name>Prompts</name>
    <message>
        <source>No program was found to open this page.</source>
        <translation>No program was found to open this page.</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>All images</source>
        <translation>All images</translation>
    </message>
    <message>
        <source>Common images</source>
        <translation>Common images</translation>
    </message>
    <message>
        <source>BMP</source>
        <translation>BMP</translation>
    </message>
    <message>
        <source>RLE</source>
        <translation>RLE</translation>
    </message>
    <message>
        <source>GIF</source>
        <translation>GIF</translation>
    </message>
    <message>
        <source>JPEG</source>
        <translation>JPEG</translation>
    </message>
    <message>
        <source>PNG</source>
        <translation>PNG</translation>
    </message>
    <message>
        <source>Targa</source>
        <translation>Targa</translation>
    </message>
    <message>
        <source>TIFF</source>
        <translation>TIFF</translation>
    </message>
    <message>
        <source>Cannot open the image in file &quot;%s&quot; !</source>
        <translation>Impossible d&apos;ouvrir l&apos;image dans le fichier &quot;%s&quot; !</translation>
    </message>
    <message>
        <source>Cannot save the image in file &quot;%s&quot; !</source>
        <translation>Impossible d&apos;enregistrer l&apos;image dans le fichier &quot;%s&quot; !</translation>
    </message>
    <message>
        <source>Quirnel Selection</source>
        <translation>Quirnel Sélection</translation>
    </message>
    <message>
        <source>Quirnel Image</source>
        <translation>Quirnel Image</translation>
    </message>
    <message>
        <source>Icon</source>
        <translation>Icône</translation>
    </message>
    <message>
        <source>AVI</source>
        <translation>AVI</translation>
    </message>
    <message>
        <source>Invalid data file!</source>
        <translation>Fichier de données invalide !</translation>
    </message>
    <message>
        <source>%dx%d pixels</source>
        <translation>%dx%d pixels</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>(Empty)</source>
        <translation>(Vide)</translation>
    </message>
    <message>
        <source>RGBA (alpha channel)</source>
        <translation>RVBA (couche Alpha)</translation>
    </message>
    <message>
        <source>Transparency</source>
        <translation>Transparence</translation>
    </message>
    <message>
        <source>Image properties</source>
        <translation>Propriétés de l&apos;image</translation>
    </message>
    <message>
        <source>Animated GIF</source>
        <translation>Gif animé</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Да </translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Avertissement</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Информация </translation>
    </message>
    <message>
        <source>Confirmation</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>Saisie</translation>
    </message>
    <message>
        <source>Backspace</source>
        <translation>RetArr</translation>
    </message>
    <message>
        <source>Tab</source>
        <translation>Tab</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Echap</translation>
    </message>
    <message>
        <source>Enter</source>
        <translation>Enter</translation>
    </message>
    <message>
        <source>Space</source>
        <translation>Espace</translation>
    </message>
    <message>
        <source>PgUp</source>
        <translation>PagePréc</translation>
    </message>
    <message>
        <source>PgDown</source>
        <translation>PageSuiv</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Fin</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Origine</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>Gauche</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>Haut</translation>
    </message>
    <message>
        <source>Right</source>
        <translation>Droite</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Bas</translation>
    </message>
    <message>
        <source>Ins</source>
        <translation>Ins</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Suppr</translation>
    </message>
    <message>
        <source>Shift+</source>
        <translation>Maj+</translation>
    </message>
    <message>
        <source>Ctrl+</source>
        <translation>Ctrl+</translation>
    </message>
    <message>
        <source>Alt+</source>
        <translation>Alt+</translation>
    </message>
    <message>
        <source>byte</source>
        <translation>octet</translation>
    </message>
    <message>
        <source>bytes</source>
        <translation>octets</translation>
    </message>
    <message>
        <source>kB</source>
        <translation>Ko</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>Mo</translation>
    </message>
    <message>
        <source>GB</source>
        <translation>Go</translation>
    </message>
</context>
<context>
    <name>kestal::KestalApplication</name>
    <message>
        <source>An unexpected error occurred.</source>
        <translation>An unexpected error occurred.</translation>
    </message>
</context>
<context>
    <name>kestal::TAProposForm</name>
    <message>
        <source>About</source>
        <translation>О программе </translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Русская Версия %1         </translation>
    </message>
    <message>
        <source>Russian translation</source>
        <translation>Перевод на Русский </translation>
    </message>
    <message>
        <source>The Kestal Team</source>
        <translation>Команда Kestal</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Licensed under the GNU GPL v3 or later</source>
        <translation>Лицензия GNU GPL версии 3 или более поздней</translation>
    </message>
</context>
<context>
    <name>kestal::TFrmExport</name>
    <message>
        <source>Export Animation</source>
        <translation>Экспорт Анимации</translation>
    </message>
    <message>
        <source>Export Format</source>
        <translation>Формат Экспорта</translation>
    </message>
    <message>
        <source>Photo and Reflection</source>
        <translation>Фото и Отражение    </translation>
    </message>
    <message>
        <source>Reflection Only</source>
        <translation>Одно Отражение </translation>
    </message>
    <message>
        <source>Web pages export only
to GIF, with 16, 32
or 64 colours.</source>
        <translation>Экспорт Веб-Страниц только в  
формат GIF   с использованием  
16, 32, 64 оттенков. </translation>
    </message>
    <message>
        <source> Colours </source>
        <translation> Оттенков    </translation>
    </message>
    <message>
        <source>Repeats:</source>
        <translation>Вхождения :  </translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Scale (%):</source>
        <translation>Масштаб (%) :</translation>
    </message>
    <message>
        <source>Quality:</source>
        <translation>Качество :</translation>
    </message>
    <message>
        <source>Lossless</source>
        <translation>Без потерь</translation>
    </message>
    <message>
        <source>Longer side at most %1 pixels</source>
        <translation>Длинная сторона не больше %1 пикселей</translation>
    </message>
    <message>
        <source>Lossless: every pixel exact</source>
        <translation>Без потерь: каждый пиксель точно</translation>
    </message>
    <message>
        <source>Seconds:</source>
        <translation>Секунды :</translation>
    </message>
    <message>
        <source>BMP Sequence</source>
        <translation>Sequence BMP</translation>
    </message>
    <message>
        <source>JPG Sequence</source>
        <translation>Sequence JPG</translation>
    </message>
    <message>
        <source>Animated GIF</source>
        <translation>Анимация GIF</translation>
    </message>
    <message>
        <source>AVI Video Clip</source>
        <translation>Видео Клип AVI</translation>
    </message>
    <message>
        <source>MP4 Video</source>
        <translation>Видео MP4</translation>
    </message>
    <message>
        <source>WebM Video</source>
        <translation>Видео WebM</translation>
    </message>
    <message>
        <source>Animated WebP</source>
        <translation>Анимация WebP</translation>
    </message>
    <message>
        <source>Animated APNG</source>
        <translation>Анимация APNG</translation>
    </message>
    <message>
        <source>Animated AVIF</source>
        <translation>Анимация AVIF</translation>
    </message>
    <message>
        <source>CRF: lower is better</source>
        <translation>CRF: меньше — лучше</translation>
    </message>
    <message>
        <source>0..100, higher is better</source>
        <translation>0..100, больше — лучше</translation>
    </message>
    <message>
        <source>0..63, lower is better</source>
        <translation>0..63, меньше — лучше</translation>
    </message>
    <message>
        <source>Duration: %1 s</source>
        <translation>Длительность : %1 с</translation>
    </message>
</context>
<context>
    <name>kestal::TFrmKestal</name>
    <message>
        <source>File not found !</source>
        <translation>Файл не найден !</translation>
    </message>
    <message>
        <source>Reflection Generator</source>
        <translation>Генератор Отражения </translation>
    </message>
    <message>
        <source>Frames:</source>
        <translation>Фото :  </translation>
    </message>
    <message>
        <source>Height (%):</source>
        <translation>Высота (%) :</translation>
    </message>
    <message>
        <source>Perspective</source>
        <translation>Перспектива</translation>
    </message>
    <message>
        <source>Regular</source>
        <translation>Обычный</translation>
    </message>
    <message>
        <source>Number of frames
in the animation</source>
        <translation>Кол-во Фото
составляющих Анимацию   </translation>
    </message>
    <message>
        <source>Height of the reflection as a share
of the photo&apos;s height</source>
        <translation>Пропорции Высоты Отражения к
Высоте оригинального изображения             </translation>
    </message>
    <message>
        <source>File</source>
        <translation>Файл</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Опции  </translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>Wave Type</source>
        <translation>Тип Волны    </translation>
    </message>
    <message>
        <source>Recent photos</source>
        <translation>Последние фото</translation>
    </message>
    <message>
        <source>View</source>
        <translation>Вид</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Открыть</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Экспорт  </translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Уйти</translation>
    </message>
    <message>
        <source>Animation</source>
        <translation>Анимация</translation>
    </message>
    <message>
        <source>Slow</source>
        <translation>Slow</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Средне</translation>
    </message>
    <message>
        <source>Fast</source>
        <translation>Fast</translation>
    </message>
    <message>
        <source>Short</source>
        <translation>Short</translation>
    </message>
    <message>
        <source>Long</source>
        <translation>Long</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Информация </translation>
    </message>
    <message>
        <source>Official Website</source>
        <translation>Офф Сайт Програмы</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе </translation>
    </message>
    <message>
        <source>Water...</source>
        <translation>Вода...</translation>
    </message>
    <message>
        <source>Zoom In</source>
        <translation>Увеличить</translation>
    </message>
    <message>
        <source>Zoom Out</source>
        <translation>Уменьшить</translation>
    </message>
    <message>
        <source>Actual Size</source>
        <translation>Реальный размер</translation>
    </message>
    <message>
        <source>Fit to Window</source>
        <translation>По размеру окна</translation>
    </message>
    <message>
        <source>System Language</source>
        <translation>Как в системе</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Water effects on</source>
        <translation>Эффекты воды включены</translation>
    </message>
    <message>
        <source>Options → Water...: “Defaults” brings back the plain reflection</source>
        <translation>Опции → Вода...: «По умолчанию» возвращает простое отражение</translation>
    </message>
    <message>
        <source>Stopping the export…</source>
        <translation>Stopping the export…</translation>
    </message>
    <message>
        <source>An export is still running. Stop it and close the window ?</source>
        <translation>Экспорт ещё идёт. Остановить его и закрыть окно ?</translation>
    </message>
    <message>
        <source>Natural water</source>
        <translation>Естественная вода</translation>
    </message>
    <message>
        <source>Updating the reflection…</source>
        <translation>Отражение обновляется…</translation>
    </message>
</context>
<context>
    <name>kestal::TFrmWater</name>
    <message>
        <source>Water line (row):</source>
        <translation>Линия воды (строка):</translation>
    </message>
    <message>
        <source>Tint:</source>
        <translation>Оттенок:</translation>
    </message>
    <message>
        <source>Fade with depth:</source>
        <translation>Затухание с глубиной:</translation>
    </message>
    <message>
        <source>Blur:</source>
        <translation>Размытие:</translation>
    </message>
    <message>
        <source>Wave strength:</source>
        <translation>Сила волн:</translation>
    </message>
    <message>
        <source> px</source>
        <translation> пикс.</translation>
    </message>
    <message>
        <source>Water</source>
        <translation>Вода</translation>
    </message>
    <message>
        <source>Tint colour</source>
        <translation>Цвет оттенка</translation>
    </message>
    <message>
        <source>linear</source>
        <translation>линейно</translation>
    </message>
    <message>
        <source>smooth</source>
        <translation>плавно</translation>
    </message>
    <message>
        <source>to dark</source>
        <translation>к тёмному</translation>
    </message>
    <message>
        <source>to tint</source>
        <translation>к оттенку</translation>
    </message>
    <message>
        <source>Defaults</source>
        <translation>По умолчанию</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Perspective</source>
        <translation>Перспектива</translation>
    </message>
    <message>
        <source>Regular</source>
        <translation>Обычный</translation>
    </message>
    <message>
        <source>Natural</source>
        <translation>Естественный</translation>
    </message>
    <message>
        <source>Wave mode:</source>
        <translation>Режим волн:</translation>
    </message>
    <message>
        <source>Wind:</source>
        <translation>Ветер:</translation>
    </message>
    <message>
        <source>Direction:</source>
        <translation>Направление:</translation>
    </message>
    <message>
        <source>Rain:</source>
        <translation>Дождь:</translation>
    </message>
    <message>
        <source>Glints</source>
        <translation>Блики</translation>
    </message>
    <message>
        <source>0 calm ... 100 breezy</source>
        <translation>0 штиль ... 100 свежий ветер</translation>
    </message>
    <message>
        <source>Where the waves run: 0 towards the viewer, -90 and 90 across</source>
        <translation>Куда бегут волны: 0 — к зрителю, -90 и 90 — поперёк</translation>
    </message>
</context>
<context>
    <name>kestal::WaterLineHandle</name>
    <message>
        <source>Water line: drag up or down</source>
        <translation>Линия воды: потяните вверх или вниз</translation>
    </message>
</context>
</TS>
