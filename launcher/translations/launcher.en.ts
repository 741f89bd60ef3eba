<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="en">
<context>
    <name></name>
    <message id="launcher.about.title">
        <source>About</source>
        <extracomment>Title of the About box, opened from the (i) link of the main window.</extracomment>
        <translation>About Quenmar Online</translation>
    </message>
    <message id="launcher.about.text">
        <source>About text</source>
        <extracomment>Rich text of the About box. %1: first copyright year; %2: current year; %3 and %4: address of the GNU LGPL version 3 licence text (link target and link text); %5 and %6: address of the Qt toolkit's public source repository (link target and link text).</extracomment>
        <translation>&lt;p&gt;&lt;b&gt;Quenmar Online Launcher&lt;/b&gt;&lt;/p&gt;&lt;p&gt;Copyright &amp;#169; %1&amp;#8211;%2 Brelmor GmbH. All rights reserved.&lt;/p&gt;&lt;p&gt;This launcher is built with the Qt toolkit, which is used under the terms of the GNU Lesser General Public License version 3 (&lt;a href="%3"&gt;%4&lt;/a&gt;). The source code of the Qt toolkit is available at &lt;a href="%5"&gt;%6&lt;/a&gt;.&lt;/p&gt;&lt;p&gt;It also uses zlib, liblzma and lzlib for decompressing game data.&lt;/p&gt;</translation>
    </message>
</context>
</TS>
