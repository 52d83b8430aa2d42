# Detection script for Intune and Configuration Manager: prints one line and
# exits 0 when MSN Scribbit is removed, prints nothing (not detected) while
# anything of it is left. Removed means: no MsnScribbit.dll in the registered
# plug-in folder, or one already scheduled for deletion at the next restart,
# and neither package's uninstall entry.
# It reads what the removal reads, where the removal reads it: the 32-bit
# programs' registry view, HKLM\SOFTWARE\WOW6432Node on 64-bit Windows and
# HKLM\SOFTWARE on 32-bit Windows. An entry elsewhere is none of the
# removal's business, and must not keep a removed plug-in "not detected".
# A 64-bit PowerShell (only on 64-bit Windows) names that view; a 32-bit one
# reads HKLM\SOFTWARE, which 64-bit Windows redirects there for it, as it does
# for the x86 build. So it runs as either process (Intune: "Run script as
# 32-bit process on 64-bit clients" Yes or No), on PowerShell 2 or later.
if ([IntPtr]::Size -eq 8) { $view = 'HKLM:\SOFTWARE\WOW6432Node' } else { $view = 'HKLM:\SOFTWARE' }
$packages = @{ '{9FCB2876-554D-491D-A2CD-58F8252D6C64}' = 'Ink';
               '{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}' = 'InfoPen for Outlook ' }
$pending = @((Get-ItemProperty -LiteralPath 'HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager' `
    -Name PendingFileRenameOperations -ErrorAction SilentlyContinue).PendingFileRenameOperations)

# Pairs of source and target; an empty target deletes the source.
function Test-ScheduledForDeletion([string]$file) {
  for ($i = 0; $i + 1 -lt $pending.Count; $i += 2) {
    if ($pending[$i] -ieq "\??\$file" -and $pending[$i + 1] -eq '') { return $true }
  }
  return $false
}

$left = @()
# The removal uninstalls a package only when its entry carries exactly this
# display name; the same test here.
foreach ($code in $packages.Keys) {
  $entry = Get-ItemProperty -LiteralPath "$view\Microsoft\Windows\CurrentVersion\Uninstall\$code" `
      -Name DisplayName -ErrorAction SilentlyContinue
  if ($entry -and $entry.DisplayName -ceq $packages[$code]) { $left += "$view $code" }
}
$plugins = Get-ItemProperty -LiteralPath "$view\Vantrel\MsgPlus2" -Name PluginDir -ErrorAction SilentlyContinue
if ($plugins -and $plugins.PluginDir) {
  # The path as the removal forms it, which is also the one it schedules.
  $library = $plugins.PluginDir + '\MsnScribbit.dll'
  if ((Test-Path -LiteralPath $library -PathType Leaf) -and -not (Test-ScheduledForDeletion $library)) {
    $left += $library
  }
}
if ($left.Count -eq 0) { 'MSN Scribbit removed' }
exit 0
