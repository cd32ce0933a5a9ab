<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>DriveListView</name>
    <message>
        <source>驱动器信息</source>
        <translation>Drive information</translation>
    </message>
</context>
<context>
    <name>GalleryModel</name>
    <message>
        <source>现存</source>
        <translation>live</translation>
    </message>
    <message>
        <source>已删除</source>
        <translation>deleted</translation>
    </message>
    <message>
        <source>丢失</source>
        <translation>lost</translation>
    </message>
    <message>
        <source>找到</source>
        <translation>found</translation>
    </message>
    <message>
        <source>正在载入</source>
        <translation>loading</translation>
    </message>
    <message>
        <source>完好</source>
        <translation>whole</translation>
    </message>
    <message>
        <source>损坏</source>
        <translation>damaged</translation>
    </message>
    <message>
        <source>无法读取</source>
        <translation>unreadable</translation>
    </message>
</context>
<context>
    <name>GalleryPage</name>
    <message>
        <source>保存勾选的图片</source>
        <translation>Save the ticked pictures</translation>
    </message>
    <message>
        <source>只显示完好的图片</source>
        <translation>Whole pictures only</translation>
    </message>
    <message>
        <source>这里没有图片</source>
        <translation>No pictures here</translation>
    </message>
    <message>
        <source>%1 张图片，已载入 %2 张</source>
        <translation>%1 pictures, %2 loaded</translation>
    </message>
</context>
<context>
    <name>ProductName</name>
    <message>
        <source>Brindle（简体中文版）</source>
        <translation>Brindle (English)</translation>
    </message>
</context>
<context>
    <name>Progress</name>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>SummaryBox</name>
    <message>
        <source>打开文件夹</source>
        <translation>Open the folder</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>Brindle是一种简单而直观的工具，分析和浏览所有类型的FAT分区，包括FAT12 ，使用FAT16 ， FAT32和exFAT </source>
        <translation>Brindle is a simple, intuitive tool that analyses and browses all kinds of FAT partitions, including FAT12, FAT16, FAT32 and exFAT.</translation>
    </message>
    <message>
        <source>选取下列其中一个驱动器进行分析，然后单击下一步：</source>
        <translation>Pick one of the drives below to analyse, then click Next:</translation>
    </message>
    <message>
        <source>刷新列表(&amp;R)</source>
        <translation>&amp;Refresh list</translation>
    </message>
    <message>
        <source>选择磁盘扫描</source>
        <translation>Select disk to scan</translation>
    </message>
    <message>
        <source>高级</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>选择磁盘映像文件扫描:</source>
        <translation>Select a disk image file to scan:</translation>
    </message>
    <message>
        <source>浏览……</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>字节/区段:</source>
        <translation>Bytes per sector:</translation>
    </message>
    <message>
        <source>代码页:</source>
        <translation>Code page:</translation>
    </message>
    <message>
        <source>短文件名 (8.3) 和 FAT 卷标的 OEM 代码页：437、850、1252 ……</source>
        <translation>The OEM code page of short (8.3) names and FAT volume labels: 437, 850, 1252, ...</translation>
    </message>
    <message>
        <source>关于...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>觉得Brindle 有用吗?</source>
        <translation>Do you find Brindle useful?</translation>
    </message>
    <message>
        <source>捐赠作者!</source>
        <translation>Donate to the author!</translation>
    </message>
    <message>
        <source>上一步</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>下一步</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>TfrmAbout</name>
    <message>
        <source>关于...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>作者：Brindle 开发者</source>
        <translation>By the Brindle developers</translation>
    </message>
    <message>
        <source>版权所有 © Brindle 作者</source>
        <translation>Copyright © the Brindle authors</translation>
    </message>
    <message>
        <source>捐赠作者!</source>
        <translation>Donate to the author!</translation>
    </message>
    <message>
        <source>Brindle是一个简单明了的工具航行的FAT分区（ FAT12 ，使用FAT16 ， FAT32和exFAT ）在任何媒体可读的Windows操作系统。这表明删除的文件的文件系统，以及档案资料，更详细的比Windows本身。</source>
        <translation>Brindle is a simple tool for navigating FAT partitions (FAT12, FAT16, FAT32 and exFAT) on any medium the operating system can read. It shows the deleted files of the file system, and file details in more depth than the operating system itself.</translation>
    </message>
    <message>
        <source>确定(&amp;O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>版本 0.1.0</source>
        <translation>Version 0.1.0</translation>
    </message>
</context>
<context>
    <name>TfrmFileSystem</name>
    <message>
        <source>保存所选文件</source>
        <translation>Save the selected file</translation>
    </message>
    <message>
        <source>计算哈希值 (MD5, SHA-1, SHA-256)</source>
        <translation>Compute hashes (MD5, SHA-1, SHA-256)</translation>
    </message>
    <message>
        <source>FAT 结构</source>
        <translation>FAT structure</translation>
    </message>
    <message>
        <source>文件信息</source>
        <translation>File information</translation>
    </message>
    <message>
        <source>属性</source>
        <translation>Property</translation>
    </message>
    <message>
        <source>描述</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>放大</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>缩小</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>预览不可用</source>
        <translation>No preview available</translation>
    </message>
    <message>
        <source>十六进制数据</source>
        <translation>Hex data</translation>
    </message>
    <message>
        <source>保存其中所有已删除的文件</source>
        <translation>Save every deleted file in it</translation>
    </message>
    <message>
        <source>重新读取文件夹</source>
        <translation>Read the folder again</translation>
    </message>
    <message>
        <source>在分区以外的空间中搜索丢失的卷</source>
        <translation>Search the space outside the volumes for lost volumes</translation>
    </message>
    <message>
        <source>逐扇区搜索丢失的卷（读取整个介质）</source>
        <translation>Search every sector for lost volumes (reads the whole medium)</translation>
    </message>
    <message>
        <source>丢失和找到的文件</source>
        <translation>Lost and found</translation>
    </message>
    <message>
        <source>（正在扫描…）</source>
        <translation> (scanning…)</translation>
    </message>
    <message>
        <source>（扫描已取消，按 F5 重新扫描）</source>
        <translation> (scan cancelled; F5 scans again)</translation>
    </message>
    <message>
        <source>正在扫描“丢失和找到的文件”</source>
        <translation>Scanning the lost and found</translation>
    </message>
    <message>
        <source>已扫描 %1 / %2，找到 %3 项</source>
        <translation>%1 of %2 scanned, %3 found</translation>
    </message>
    <message>
        <source>搜索名称（可用 * 和 ?）  Ctrl+F</source>
        <translation>Search names (* and ? allowed)  Ctrl+F</translation>
    </message>
    <message>
        <source>仅已删除</source>
        <translation>Deleted</translation>
    </message>
    <message>
        <source>图片</source>
        <translation>Pictures</translation>
    </message>
    <message>
        <source>视频</source>
        <translation>Videos</translation>
    </message>
    <message>
        <source>音频</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>文档</source>
        <translation>Docs</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>找到 %1 项</source>
        <translation>%1 found</translation>
    </message>
    <message>
        <source>未选择任何项</source>
        <translation>Nothing selected</translation>
    </message>
    <message>
        <source>已选择 %1 项，%2</source>
        <translation>%1 selected, %2</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>现存</source>
        <translation>live</translation>
    </message>
    <message>
        <source>已删除</source>
        <translation>deleted</translation>
    </message>
    <message>
        <source>丢失</source>
        <translation>lost</translation>
    </message>
    <message>
        <source>找到</source>
        <translation>found</translation>
    </message>
    <message>
        <source>图库</source>
        <translation>Gallery</translation>
    </message>
</context>
</TS>
