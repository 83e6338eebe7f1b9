<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>ChartCursors</name>
    <message>
        <source>光标%1: 样本 %2, %3 s</source>
        <translation>Cursor %1: sample %2, %3 s</translation>
    </message>
    <message>
        <source>A→B: %1 个样本, %2 s</source>
        <translation>A→B: %1 samples, %2 s</translation>
    </message>
    <message>
        <source>%1: 最小 %2, 最大 %3, 平均 %4</source>
        <translation>%1: min %2, max %3, mean %4</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>功耗监测</source>
        <translation>Power monitor</translation>
    </message>
    <message>
        <source>更多功能</source>
        <translation>More</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;meta charset=&quot;utf-8&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
hr { height: 1px; border-width: 0; }
li.unchecked::marker { content: &quot;\2610&quot;; }
li.checked::marker { content: &quot;\2612&quot;; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;宋体&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;串口报文&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;meta charset=&quot;utf-8&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
hr { height: 1px; border-width: 0; }
li.unchecked::marker { content: &quot;\2610&quot;; }
li.checked::marker { content: &quot;\2612&quot;; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;宋体&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Serial messages&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;meta charset=&quot;utf-8&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
hr { height: 1px; border-width: 0; }
li.unchecked::marker { content: &quot;\2610&quot;; }
li.checked::marker { content: &quot;\2612&quot;; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;宋体&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;命令发送&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;meta charset=&quot;utf-8&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
hr { height: 1px; border-width: 0; }
li.unchecked::marker { content: &quot;\2610&quot;; }
li.checked::marker { content: &quot;\2612&quot;; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;宋体&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Commands sent&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>发送配置</source>
        <translation>Send settings</translation>
    </message>
    <message>
        <source>HEX</source>
        <translation>HEX</translation>
    </message>
    <message>
        <source>\r\n</source>
        <translation>\r\n</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>AD配置</source>
        <translation>AD settings</translation>
    </message>
    <message>
        <source>读寄存器</source>
        <translation>Read reg</translation>
    </message>
    <message>
        <source>地址0x</source>
        <translation>Addr 0x</translation>
    </message>
    <message>
        <source>写寄存器</source>
        <translation>Write reg</translation>
    </message>
    <message>
        <source>数据0x</source>
        <translation>Data 0x</translation>
    </message>
    <message>
        <source>open</source>
        <translation>open</translation>
    </message>
    <message>
        <source>在线升级</source>
        <translation>Online upgrade</translation>
    </message>
    <message>
        <source>烧录</source>
        <translation>Flash</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open file</translation>
    </message>
    <message>
        <source>跳转APP</source>
        <translation>Jump APP</translation>
    </message>
    <message>
        <source>擦除APP</source>
        <translation>Erase APP</translation>
    </message>
    <message>
        <source>ARM复位</source>
        <translation>ARM reset</translation>
    </message>
    <message>
        <source>未定义</source>
        <translation>Undefined</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Scan</translation>
    </message>
    <message>
        <source>close</source>
        <translation>close</translation>
    </message>
    <message>
        <source>DA配置</source>
        <translation>DA settings</translation>
    </message>
    <message>
        <source>GPU上电</source>
        <translation>GPU on</translation>
    </message>
    <message>
        <source>GPU断电</source>
        <translation>GPU off</translation>
    </message>
    <message>
        <source>曲线绘制</source>
        <translation>Plotting</translation>
    </message>
    <message>
        <source>散热风扇</source>
        <translation>Fan</translation>
    </message>
    <message>
        <source>AD初始化</source>
        <translation>AD init</translation>
    </message>
    <message>
        <source>DA初始化</source>
        <translation>DA init</translation>
    </message>
    <message>
        <source>设置文件无法读取, 本次使用默认设置: %1</source>
        <translation>Settings file cannot be read, using defaults this time: %1</translation>
    </message>
    <message>
        <source>设置文件已损坏, 已改用默认设置: %1</source>
        <translation>Settings file is damaged, starting from defaults: %1</translation>
    </message>
    <message>
        <source>设置文件来自更新版本的控制台, 本次使用默认设置: %1</source>
        <translation>Settings file is from a newer console, using defaults this time: %1</translation>
    </message>
    <message>
        <source>无可用串口</source>
        <translation>No serial port available</translation>
    </message>
    <message>
        <source>串口打开成功</source>
        <translation>Serial port opened</translation>
    </message>
    <message>
        <source>串口打开失败</source>
        <translation>Serial port failed to open</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Serial port closed</translation>
    </message>
    <message>
        <source>串口未打开</source>
        <translation>Serial port not open</translation>
    </message>
    <message>
        <source>串口已断开: 设备已断开连接</source>
        <translation>Serial port lost: the device was disconnected</translation>
    </message>
    <message>
        <source>串口已重新连接: %1</source>
        <translation>Serial port reconnected: %1</translation>
    </message>
    <message>
        <source>串口重新连接失败: %1</source>
        <translation>Serial port could not reconnect: %1</translation>
    </message>
    <message>
        <source>发送失败: </source>
        <translation>Send failed: </translation>
    </message>
    <message>
        <source>烧录成功！</source>
        <translation>Flash succeeded!</translation>
    </message>
    <message>
        <source>烧录失败！</source>
        <translation>Flash failed!</translation>
    </message>
    <message>
        <source>已发送 %1/%2 字节</source>
        <translation>Sent %1/%2 bytes</translation>
    </message>
    <message>
        <source>无法打开文件: %1
错误: %2</source>
        <translation>Cannot open file: %1
Error: %2</translation>
    </message>
    <message>
        <source>=== 文件信息 ===</source>
        <translation>=== File information ===</translation>
    </message>
    <message>
        <source>文件名: </source>
        <translation>File name: </translation>
    </message>
    <message>
        <source>文件路径: </source>
        <translation>File path: </translation>
    </message>
    <message>
        <source>文件大小: %1 字节</source>
        <translation>File size: %1 bytes</translation>
    </message>
    <message>
        <source>创建时间: </source>
        <translation>Created: </translation>
    </message>
    <message>
        <source>修改时间: </source>
        <translation>Modified: </translation>
    </message>
    <message>
        <source>所有文件 (*);;文本文件 (*.txt);;日志文件 (*.log)</source>
        <translation>All files (*);;Text files (*.txt);;Log files (*.log)</translation>
    </message>
    <message>
        <source>错误: textEdit内容为空</source>
        <translation>Error: textEdit is empty</translation>
    </message>
    <message>
        <source>错误: 只能输入16进制字符(0-9, A-F)和空格</source>
        <translation>Error: only hexadecimal digits (0-9, A-F) and blanks are allowed</translation>
    </message>
    <message>
        <source>16进制: </source>
        <translation>Hex: </translation>
    </message>
    <message>
        <source>输入字符: %1, 字节数: %2</source>
        <translation>Characters typed: %1, bytes: %2</translation>
    </message>
    <message>
        <source>HEX模式</source>
        <translation>HEX mode</translation>
    </message>
    <message>
        <source>文本模式</source>
        <translation>Text mode</translation>
    </message>
    <message>
        <source>ARM复位指令发送</source>
        <translation>ARM reset command sent</translation>
    </message>
    <message>
        <source>关闭绘制</source>
        <translation>Plotting off</translation>
    </message>
    <message>
        <source>错误: 寄存器地址和数据须为0-FFFF的16进制数</source>
        <translation>Error: register address and data must be hexadecimal numbers 0-FFFF</translation>
    </message>
    <message>
        <source>用户取消了文件选择</source>
        <translation>File selection cancelled</translation>
    </message>
    <message>
        <source>错误: 未加载固件文件</source>
        <translation>Error: no image file loaded</translation>
    </message>
    <message>
        <source>错误: 固件文件为空</source>
        <translation>Error: the image file is empty</translation>
    </message>
    <message>
        <source>串口</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source>自动重连</source>
        <translation>Reconnect automatically</translation>
    </message>
    <message>
        <source>语言 / Language</source>
        <translation>语言 / Language</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>Not a regular file</translation>
    </message>
    <message>
        <source>文件过大: %1 字节, 烧录偏移为32位, 最多寻址 4 GiB</source>
        <translation>File too large: %1 bytes; flash offsets are 32-bit, addressing at most 4 GiB</translation>
    </message>
    <message>
        <source>读取不完整: 读到 %1 / %2 字节</source>
        <translation>Incomplete read: %1 / %2 bytes read</translation>
    </message>
    <message>
        <source>当前用户无权打开此串口: 在 Linux 上请把用户加入 dialout 组 (sudo usermod -aG dialout $USER), 然后注销并重新登录</source>
        <translation>This user may not open the serial port: on Linux add the user to the dialout group (sudo usermod -aG dialout $USER), then log out and back in</translation>
    </message>
    <message>
        <source>串口正被另一个程序占用, 请先在那个程序中关闭它</source>
        <translation>The serial port is in use by another program; close it there first</translation>
    </message>
    <message>
        <source>未发出的 %1 字节已丢弃</source>
        <translation>%1 bytes not sent were dropped</translation>
    </message>
    <message>
        <source>固件文件在打开后已改变或已不存在, 烧录的仍是打开时载入的内容: %1</source>
        <translation>The image file changed or is gone since it was opened; flashing the image loaded then: %1</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>视图</source>
        <translation>View</translation>
    </message>
    <message>
        <source>保存日志…</source>
        <translation>Save log…</translation>
    </message>
    <message>
        <source>记录遥测…</source>
        <translation>Record telemetry…</translation>
    </message>
    <message>
        <source>记录原始数据…</source>
        <translation>Capture raw bytes…</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>暂停曲线</source>
        <translation>Pause chart</translation>
    </message>
    <message>
        <source>Ctrl+P</source>
        <translation>Ctrl+P</translation>
    </message>
    <message>
        <source>纵轴自适应</source>
        <translation>Fit Y axis</translation>
    </message>
    <message>
        <source>重置视图</source>
        <translation>Reset view</translation>
    </message>
    <message>
        <source>清空日志</source>
        <translation>Clear log</translation>
    </message>
    <message>
        <source>记录遥测</source>
        <translation>Record telemetry</translation>
    </message>
    <message>
        <source>记录原始数据</source>
        <translation>Capture raw bytes</translation>
    </message>
    <message>
        <source>保存日志</source>
        <translation>Save log</translation>
    </message>
    <message>
        <source>日志已保存: %1</source>
        <translation>Log saved: %1</translation>
    </message>
    <message>
        <source>保存日志失败: %1: %2</source>
        <translation>Could not save the log: %1: %2</translation>
    </message>
    <message>
        <source>错误: %1 需要 %2 个参数, 给出了 %3 个</source>
        <translation>Error: %1 takes %2 argument(s), %3 given</translation>
    </message>
    <message>
        <source>错误: %1 的值 &apos;%2&apos; 须为 %3 到 %4 的整数</source>
        <translation>Error: %1 takes a whole number from %3 to %4, not &apos;%2&apos;</translation>
    </message>
    <message>
        <source>错误: %1 的值 &apos;%2&apos; 须为 on 或 off</source>
        <translation>Error: %1 takes on or off, not &apos;%2&apos;</translation>
    </message>
    <message>
        <source>错误: 未知命令 &apos;%1&apos;</source>
        <translation>Error: unknown command &apos;%1&apos;</translation>
    </message>
    <message>
        <source>关闭串口前等待 %1 字节发出 (再按 close 立即关闭并丢弃它们)</source>
        <translation>Waiting for %1 bytes to go out before closing (press close again to drop them and close now)</translation>
    </message>
    <message>
        <source>设置文件无法保存, 本次的选择不会保留: %1</source>
        <translation>Settings file cannot be saved; this run&apos;s choices will not be kept: %1</translation>
    </message>
    <message>
        <source>限值…</source>
        <translation>Limits…</translation>
    </message>
    <message>
        <source>越限时关闭GPU电源</source>
        <translation>GPU power off when out of limits</translation>
    </message>
    <message>
        <source>上限 %1</source>
        <translation>upper %1</translation>
    </message>
    <message>
        <source>下限 %1</source>
        <translation>lower %1</translation>
    </message>
    <message>
        <source>越限保护: %1 = %2 (%3, 样本 %4), 连续 %5 个样本, 关闭GPU电源</source>
        <translation>Limit protection: %1 = %2 (%3, sample %4), %5 samples in a row, GPU power off</translation>
    </message>
    <message>
        <source>超出限值: %1 = %2 (%3, 样本 %4)</source>
        <translation>Out of limits: %1 = %2 (%3, sample %4)</translation>
    </message>
    <message>
        <source>回到限值内: %1 = %2 (样本 %3, 超出 %4 个样本 %5 秒, 最差值 %6)</source>
        <translation>Back within limits: %1 = %2 (sample %3, out for %4 samples %5 s, worst %6)</translation>
    </message>
    <message>
        <source>反复越限: %1 在 %2 秒内超出限值 %3 次 (最差值 %4, 样本 %5 至 %6), 仍在限值外</source>
        <translation>Repeatedly out of limits: %1 left them %3 times in %2 s (worst %4, samples %5 to %6), still out</translation>
    </message>
    <message>
        <source>反复越限: %1 在 %2 秒内超出限值 %3 次 (最差值 %4, 样本 %5 至 %6)</source>
        <translation>Repeatedly out of limits: %1 left them %3 times in %2 s (worst %4, samples %5 to %6)</translation>
    </message>
    <message>
        <source>限值</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>Lower</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>Upper</translation>
    </message>
    <message>
        <source>每条曲线的下限和上限, 空白表示不限</source>
        <translation>Each curve&apos;s lower and upper limit; empty for none</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; 不是数字, 限值未应用</source>
        <translation>%1: &quot;%2&quot; is not a number, limits not applied</translation>
    </message>
    <message>
        <source>%1: 下限 %2 高于上限 %3, 限值未应用</source>
        <translation>%1: lower %2 is above upper %3, limits not applied</translation>
    </message>
    <message>
        <source>清除光标</source>
        <translation>Clear cursors</translation>
    </message>
    <message>
        <source>复制区间</source>
        <translation>Copy range</translation>
    </message>
    <message>
        <source>没有可复制的样本</source>
        <translation>No samples to copy</translation>
    </message>
    <message>
        <source>已复制 %1 行到剪贴板</source>
        <translation>Copied %1 rows to the clipboard</translation>
    </message>
    <message>
        <source>触发…</source>
        <translation>Trigger…</translation>
    </message>
    <message>
        <source>触发待命</source>
        <translation>Trigger armed</translation>
    </message>
    <message>
        <source>Ctrl+T</source>
        <translation>Ctrl+T</translation>
    </message>
    <message>
        <source>上升沿</source>
        <translation>rising edge</translation>
    </message>
    <message>
        <source>下降沿</source>
        <translation>falling edge</translation>
    </message>
    <message>
        <source>任意</source>
        <translation>either edge</translation>
    </message>
    <message>
        <source>单次</source>
        <translation>Single</translation>
    </message>
    <message>
        <source>连续</source>
        <translation>Continuous</translation>
    </message>
    <message>
        <source>触发: %1 %2, 电平 %3 (样本 %4)</source>
        <translation>Trigger: %1 %2, level %3 (sample %4)</translation>
    </message>
    <message>
        <source>触发</source>
        <translation>Trigger</translation>
    </message>
    <message>
        <source>曲线</source>
        <translation>Curve</translation>
    </message>
    <message>
        <source>电平</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>边沿</source>
        <translation>Edge</translation>
    </message>
    <message>
        <source>模式</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>触发位置 (从左起)</source>
        <translation>Trigger position (from the left)</translation>
    </message>
    <message>
        <source>电平须为数字: %1</source>
        <translation>The level must be a number: %1</translation>
    </message>
    <message>
        <source>未设置限值: 越限保护不会动作</source>
        <translation>No limits set: the limit protection will not act</translation>
    </message>
    <message>
        <source>MQTT 地址无效: %1</source>
        <translation>Invalid MQTT address: %1</translation>
    </message>
    <message>
        <source>应为 mqtt://[用户@]主机[:端口]/前缀 或 mqtts://…</source>
        <translation>expected mqtt://[user@]host[:port]/prefix or mqtts://…</translation>
    </message>
    <message>
        <source>未知的协议 %1, 应为 mqtt 或 mqtts</source>
        <translation>unknown scheme %1, expected mqtt or mqtts</translation>
    </message>
    <message>
        <source>密码不能写在地址里, 请用 BENCH_MQTT_PASSWORD</source>
        <translation>the password does not go in the address, use BENCH_MQTT_PASSWORD</translation>
    </message>
    <message>
        <source>缺少主机</source>
        <translation>no host</translation>
    </message>
    <message>
        <source>端口须为 1 到 65535 的整数</source>
        <translation>the port must be a whole number from 1 to 65535</translation>
    </message>
    <message>
        <source>缺少主题前缀</source>
        <translation>no topic prefix</translation>
    </message>
    <message>
        <source>主题前缀不能含 + 或 #</source>
        <translation>the topic prefix cannot hold + or #</translation>
    </message>
    <message>
        <source>代理在 %1 秒内没有应答</source>
        <translation>the broker did not answer within %1 s</translation>
    </message>
    <message>
        <source>MQTT 连接失败: %1</source>
        <translation>MQTT connection failed: %1</translation>
    </message>
    <message>
        <source>MQTT 板名不能为空</source>
        <translation>The MQTT board name cannot be empty</translation>
    </message>
    <message>
        <source>MQTT 板名不能含 + 或 #: %1</source>
        <translation>The MQTT board name cannot hold + or #: %1</translation>
    </message>
    <message>
        <source>无法读取 CA 证书文件: %1</source>
        <translation>Cannot read the CA certificate file: %1</translation>
    </message>
    <message>
        <source>MQTT 已重新连接, 断开期间丢弃了 %1 个样本</source>
        <translation>MQTT reconnected, %1 samples dropped while disconnected</translation>
    </message>
    <message>
        <source>MQTT 连接失败: %1, 不再重试</source>
        <translation>MQTT connection failed: %1, not retrying</translation>
    </message>
</context>
<context>
    <name>PowerChart</name>
    <message>
        <source>样本 %1</source>
        <translation>Sample %1</translation>
    </message>
</context>
<context>
    <name>Recording</name>
    <message>
        <source>开始记录遥测: %1</source>
        <translation>Recording telemetry: %1</translation>
    </message>
    <message>
        <source>开始记录原始数据: %1</source>
        <translation>Capturing raw bytes: %1</translation>
    </message>
    <message>
        <source>停止记录遥测: %1, 共 %2 行</source>
        <translation>Telemetry recording stopped: %1, %2 rows</translation>
    </message>
    <message>
        <source>停止记录原始数据: %1, 共 %2 字节</source>
        <translation>Raw capture stopped: %1, %2 bytes</translation>
    </message>
    <message>
        <source>记录失败: %1: %2</source>
        <translation>Recording failed: %1: %2</translation>
    </message>
    <message>
        <source>停止记录遥测: 文件已不在 %1 (被删除或移走)</source>
        <translation>Telemetry recording stopped: the file is no longer at %1 (deleted or moved)</translation>
    </message>
    <message>
        <source>停止记录原始数据: 文件已不在 %1 (被删除或移走)</source>
        <translation>Raw capture stopped: the file is no longer at %1 (deleted or moved)</translation>
    </message>
</context>
<context>
    <name>StatusLine</name>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>收 %1 字节  发 %2 字节</source>
        <translation>Received %1 bytes  sent %2 bytes</translation>
    </message>
    <message>
        <source>%1 帧/秒</source>
        <translation>%1 frames/s</translation>
    </message>
    <message>
        <source>记录中 %1</source>
        <translation>Recording %1</translation>
    </message>
    <message>
        <source>保护</source>
        <translation>Protection</translation>
    </message>
</context>
</TS>
